// Takes the CLIPBOARD selection and misbehaves in the way its first argument names, printing
// "owner" once it holds it:
//   silent         never reads another event: every request waits for an answer that never comes
//   targets-only   answers TARGETS and never anything else
//   incr-stall     starts every text transfer as INCR, sends the first increment, then nothing
//   incr-killed    starts every text transfer as INCR and kills itself after three increments
//   many-targets   offers 5000 targets with absurd names, answers only UTF8_STRING ("many targets")
//   bad-utf8       answers UTF8_STRING with bytes that are not UTF-8
//   secret         offers a password manager's "secret" mark and a password, printing "text asked"
//                  if anyone asks for the password
//   public         the same mark with another value, and the text "not a secret"
//   storm          changes owner between two windows a thousand times a second for 10 s, each
//                  offering "storm N"; then keeps "storm last" and prints "done"
//   counted        an ordinary owner of the text "counted copy", printing "served" for each reader
//   manager        takes CLIPBOARD_MANAGER instead, as another clipboard manager would, and stays
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

xcb_connection_t *connection = nullptr;
xcb_window_t root = XCB_NONE;
std::string mode;
std::string text = "hostile";

xcb_atom_t intern(const std::string &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

xcb_atom_t clipboard, targets, utf8String, incr, hint;
std::vector<xcb_atom_t> offered;

xcb_window_t makeWindow()
{
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    return window;
}

void notify(const xcb_selection_request_event_t *request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event{};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request->time;
    event.requestor = request->requestor;
    event.selection = request->selection;
    event.target = request->target;
    event.property = property;
    xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&event));
}

void put(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint8_t format, const void *data,
         uint32_t count)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, format, count, data);
}

// One incremental transfer: its requestor, property, and how many increments went out.
struct Incremental
{
    xcb_window_t requestor = XCB_NONE;
    xcb_atom_t property = XCB_NONE;
    int sent = 0;
};
std::vector<Incremental> transfers;

void answer(const xcb_selection_request_event_t *request)
{
    const xcb_atom_t property = request->property == XCB_NONE ? request->target : request->property;
    if (request->target == targets) {
        put(request->requestor, property, XCB_ATOM_ATOM, 32, offered.data(), uint32_t(offered.size()));
        notify(request, property);
        return;
    }
    if ((mode == "secret" || mode == "public") && request->target == hint) {
        const std::string value = mode == "secret" ? "secret" : "public";
        put(request->requestor, property, XCB_ATOM_STRING, 8, value.data(), uint32_t(value.size()));
        notify(request, property);
        return;
    }
    if (mode == "secret" && request->target == utf8String) {
        std::puts("text asked");
        std::fflush(stdout);
    }
    if (mode == "targets-only" || request->target != utf8String) {
        if (mode != "targets-only")
            notify(request, XCB_NONE);
        return;
    }
    if (mode == "incr-stall" || mode == "incr-killed") {
        const uint32_t size = 64 * 1024 * 1024;
        const uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_change_window_attributes(connection, request->requestor, XCB_CW_EVENT_MASK, mask);
        put(request->requestor, property, incr, 32, &size, 1);
        transfers.push_back({request->requestor, property, 0});
        notify(request, property);
        return;
    }
    if (mode == "bad-utf8") {
        const char bytes[] = "ok \xff\xfe \xc3 \xed\xa0\x80 end\xf0\x9f";
        put(request->requestor, property, utf8String, 8, bytes, sizeof bytes - 1);
    } else {
        put(request->requestor, property, utf8String, 8, text.data(), uint32_t(text.size()));
    }
    notify(request, property);
    if (mode == "counted") {
        // Said only once the server has dealt the answer out (a round trip): a test may kill us the
        // moment it reads this, and the server drops what a killed client left unread.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        std::puts("served");
        std::fflush(stdout);
    }
}

// The requestor took an increment: the next one, unless the mode stops here.
void deleted(const xcb_property_notify_event_t *event)
{
    for (Incremental &transfer : transfers) {
        if (transfer.requestor != event->window || transfer.property != event->atom)
            continue;
        if (mode == "incr-stall" && transfer.sent >= 1)
            return;
        if (mode == "incr-killed" && transfer.sent >= 3) {
            xcb_flush(connection);
            std::raise(SIGKILL);
        }
        const std::string chunk(256 * 1024, 'i');
        put(transfer.requestor, transfer.property, utf8String, 8, chunk.data(), uint32_t(chunk.size()));
        ++transfer.sent;
        return;
    }
}

void handle(xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        answer(reinterpret_cast<xcb_selection_request_event_t *>(event));
        break;
    case XCB_PROPERTY_NOTIFY: {
        auto *notify = reinterpret_cast<xcb_property_notify_event_t *>(event);
        if (notify->state == XCB_PROPERTY_DELETE)
            deleted(notify);
        break;
    }
    default:
        break;
    }
}

bool own(xcb_window_t window)
{
    xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr);
    const bool holds = owner && owner->owner == window;
    std::free(owner);
    return holds;
}

void serveForever()
{
    while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
        handle(event);
        std::free(event);
        xcb_flush(connection);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    mode = argv[1];
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // A clipboard manager of another program's, which only needs to hold its selection.
    clipboard = intern(mode == "manager" ? "CLIPBOARD_MANAGER" : "CLIPBOARD");
    targets = intern("TARGETS");
    utf8String = intern("UTF8_STRING");
    incr = intern("INCR");
    hint = intern("x-kde-passwordManagerHint");
    offered = {targets, utf8String};
    if (mode == "secret" || mode == "public") {
        // The mark last, as an owner may list it anywhere.
        offered.push_back(hint);
        text = mode == "secret" ? "p4ssw0rd" : "not a secret";
    }
    if (mode == "counted")
        text = "counted copy";
    if (mode == "many-targets") {
        text = "many targets";
        // Interned all at once: one round trip for the lot.
        std::vector<xcb_intern_atom_cookie_t> cookies;
        for (int i = 0; i < 5000; ++i) {
            std::string name = "x-absurd/" + std::to_string(i);
            if (i % 5 == 1)
                name = "image/png;" + std::string(size_t(200 + i % 300), 'z');
            else if (i % 5 == 2)
                name = "text/plain;charset=\"\x01\n" + std::to_string(i);
            else if (i % 5 == 3)
                name = std::string(1, char(0x80 + i % 100)) + "/\xff" + std::to_string(i);
            cookies.push_back(xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()));
        }
        for (const xcb_intern_atom_cookie_t cookie : cookies) {
            xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
            if (reply)
                offered.push_back(reply->atom);
            std::free(reply);
        }
    }

    const xcb_window_t window = makeWindow();
    if (mode != "storm") {
        if (!own(window))
            return 1;
        std::puts("owner");
        std::fflush(stdout);
        if (mode == "silent" || mode == "manager") {
            for (;;)
                pause();
        }
        serveForever();
        return 0;
    }

    const xcb_window_t other = makeWindow();
    if (!own(window))
        return 1;
    std::puts("owner");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int change = 0; std::chrono::steady_clock::now() < end; ++change) {
        text = "storm " + std::to_string(change);
        xcb_set_selection_owner(connection, change % 2 ? other : window, clipboard, XCB_CURRENT_TIME);
        xcb_flush(connection);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    text = "storm last";
    if (!own(other))
        return 1;
    std::puts("done");
    std::fflush(stdout);
    serveForever();
    return 0;
}
