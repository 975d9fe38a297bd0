// An XDND drop target of its own, as a file manager is one: a window at the given place that accepts
// one drop as a copy and reports what it got, one line each, then exits.
//
//   xdnd_drop_target <x> <y> <folder>
//
// Prints "ready" once mapped. On the drop: "types <t1> <t2> ...", then, when the drag offers the
// direct-save type, "direct-save <name> <answer>" after asking the source to write <name> into
// <folder>; "text <utf-8 text, newlines as \n>" for plain text; "uris <list, newlines as \n>" for a
// URI list; and "finished" once the source has been told. Exits 2 when no drop comes within 60 s.
#include <xcb/xcb.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

xcb_connection_t *connection;
xcb_window_t window;

xcb_atom_t atom(const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

std::string atomName(xcb_atom_t value)
{
    xcb_get_atom_name_reply_t *reply =
        xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, value), nullptr);
    std::string name = reply
                           ? std::string(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply))
                           : std::string();
    std::free(reply);
    return name;
}

std::string readProperty(xcb_window_t owner, xcb_atom_t property, bool remove)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, remove, owner, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
        nullptr);
    std::string value;
    if (reply && reply->format == 8)
        value.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                     xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

std::vector<xcb_atom_t> readAtoms(xcb_window_t owner, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, owner, property, XCB_ATOM_ATOM, 0, 1024), nullptr);
    std::vector<xcb_atom_t> atoms;
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        atoms.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return atoms;
}

xcb_generic_event_t *waitForEvent(int timeoutMs)
{
    for (;;) {
        if (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            return event;
        pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0)
            return nullptr;
    }
}

// Asks the drag's source for the selection in one type and waits for the answer.
std::string convert(xcb_atom_t target, xcb_timestamp_t time)
{
    const xcb_atom_t property = atom("TARNO_DROP_DATA");
    xcb_convert_selection(connection, window, atom("XdndSelection"), target, property, time);
    xcb_flush(connection);
    for (;;) {
        xcb_generic_event_t *event = waitForEvent(10000);
        if (!event)
            return "(no answer)";
        const bool notify = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
        const xcb_atom_t answered =
            notify ? reinterpret_cast<xcb_selection_notify_event_t *>(event)->property : 0;
        std::free(event);
        if (notify)
            return answered == XCB_ATOM_NONE ? "(refused)" : readProperty(window, property, true);
    }
}

void send(xcb_window_t to, xcb_atom_t type, uint32_t d0, uint32_t d1, uint32_t d2, uint32_t d3, uint32_t d4)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = to;
    message.type = type;
    message.data.data32[0] = d0;
    message.data.data32[1] = d1;
    message.data.data32[2] = d2;
    message.data.data32[3] = d3;
    message.data.data32[4] = d4;
    xcb_send_event(connection, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    xcb_flush(connection);
}

std::string escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string percentEncoded(const std::string &path)
{
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            out += char(c);
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return 1;
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    window = xcb_generate_id(connection);
    const uint32_t values[] = {screen->white_pixel, 1,
                               XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(std::atoi(argv[1])),
                      int16_t(std::atoi(argv[2])), 300, 300, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
                      values);
    const uint32_t version = 5;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom("XdndAware"), XCB_ATOM_ATOM, 32, 1,
                        &version);
    xcb_map_window(connection, window);
    xcb_flush(connection);

    const xcb_atom_t enter = atom("XdndEnter"), position = atom("XdndPosition"), drop = atom("XdndDrop");
    const xcb_atom_t status = atom("XdndStatus"), finished = atom("XdndFinished"),
                     copy = atom("XdndActionCopy");
    const xcb_atom_t directSave = atom("XdndDirectSave0");
    std::vector<xcb_atom_t> types;
    bool announced = false;
    for (;;) {
        xcb_generic_event_t *event = waitForEvent(60000);
        if (!event)
            return 2;
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_MAP_NOTIFY && !announced) {
            announced = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
        if (kind != XCB_CLIENT_MESSAGE) {
            std::free(event);
            continue;
        }
        const auto message = *reinterpret_cast<xcb_client_message_event_t *>(event);
        std::free(event);
        const xcb_window_t source = message.data.data32[0];
        if (message.type == enter) {
            types.clear();
            if (message.data.data32[1] & 1)
                types = readAtoms(source, atom("XdndTypeList"));
            for (int i = 2; i < 5 && types.size() < 3 && !(message.data.data32[1] & 1); ++i) {
                if (message.data.data32[i])
                    types.push_back(message.data.data32[i]);
            }
        } else if (message.type == position) {
            send(source, status, window, 1, 0, 0, copy);
        } else if (message.type == drop) {
            const xcb_timestamp_t time = message.data.data32[2];
            std::string line = "types";
            for (xcb_atom_t type : types)
                line += " " + atomName(type);
            std::printf("%s\n", line.c_str());
            for (xcb_atom_t type : types) {
                const std::string name = atomName(type);
                if (type == directSave) {
                    const std::string file = readProperty(source, directSave, false);
                    char host[256] = {};
                    gethostname(host, sizeof host - 1);
                    const std::string uri =
                        "file://" + std::string(host) + percentEncoded(std::string(argv[3]) + "/" + file);
                    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, source, directSave,
                                        atom("text/plain"), 8, uint32_t(uri.size()), uri.data());
                    std::printf("direct-save %s %s\n", file.c_str(), convert(directSave, time).c_str());
                } else if (name == "text/plain;charset=utf-8") {
                    std::printf("text %s\n", escaped(convert(type, time)).c_str());
                } else if (name == "text/uri-list") {
                    std::printf("uris %s\n", escaped(convert(type, time)).c_str());
                }
            }
            send(source, finished, window, 1, copy, 0, 0);
            std::printf("finished\n");
            std::fflush(stdout);
            return 0;
        }
    }
}
