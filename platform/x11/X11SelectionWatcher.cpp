#include "platform/x11/X11SelectionWatcher.h"

#include "platform/api/Pasteboard.h"
#include "platform/qt/SelectionPlan.h"
#include "platform/x11/XcbDisplay.h"

#include <QHash>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace tarno {

namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using XcbPointer = std::unique_ptr<T, FreeDeleter>;

enum class CommandKind
{
    Sync,
    Reread,
    Stop
};
struct Command
{
    CommandKind kind;
    quint64 token = 0;
};

// One group of targets that yields at most one format: its candidates are asked in order until one
// answers with data.
struct TargetGroup
{
    enum Kind
    {
        Text,
        Raw
    };
    Kind kind = Raw;
    QList<xcb_atom_t> candidates;
};

// One conversion request in flight. Each gets a fresh window, so that a late answer to an abandoned
// request can never be mistaken for the answer to a newer one.
struct Transfer
{
    xcb_window_t window = XCB_NONE;
    xcb_atom_t target = XCB_NONE;
    bool incremental = false;
    // Past the bound: the rest is taken and dropped, then the transfer fails.
    bool discarding = false;
    // A text past its bound: the rest is taken and dropped, and the start kept.
    bool full = false;
    xcb_atom_t type = XCB_NONE;
    QByteArray data;
    Clock::time_point deadline;
};

struct Read
{
    quint64 serial = 0;
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    bool haveTargets = false;
    QList<TargetGroup> plan;
    qsizetype group = 0;
    qsizetype candidate = 0;
    Transfer transfer;
    SelectionContent content;
    qint64 bytes = 0;
};

// A requestor window whose read was given up while its owner may still be answering into it.
struct RetiredWindow
{
    xcb_window_t window = XCB_NONE;
    Clock::time_point until;
};

// How long such a window is kept when its owner does not answer at all.
constexpr std::chrono::seconds retiredWindowLifetime{60};

// A program's request that we save the clipboard before it exits, waiting for its answer.
struct SaveRequest
{
    xcb_window_t requestor = XCB_NONE;
    xcb_atom_t property = XCB_NONE;
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    Clock::time_point deadline;
};

struct Property
{
    xcb_atom_t type = XCB_NONE;
    uint8_t format = 0;
    QByteArray data;
    bool tooLarge = false;
};

} // namespace

class X11SelectionWatcher::Private
{
public:
    Private(Callbacks callbacks, std::optional<X11ClientIds> ourClient, X11SelectionLimits limits)
        : m_callbacks(std::move(callbacks)), m_ourClient(ourClient), m_limits(limits)
    {}

    ~Private()
    {
        if (m_thread.joinable()) {
            post({CommandKind::Stop});
            m_thread.join();
        }
        if (m_connection) {
            // Our windows go with the connection.
            xcb_disconnect(m_connection);
        }
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }

    bool connect();
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void post(Command command);

    bool isConnected() const { return m_connected; }
    bool isClipboardManager() const { return m_isManager.load(); }

private:
    void run();
    std::vector<Command> takeCommands();
    bool handleCommand(const Command &command);
    void drainQueuedEvents();
    void handleEvent(const xcb_generic_event_t *event);
    void handleOwnerChange(xcb_window_t owner, xcb_timestamp_t time);
    void claimManager(xcb_timestamp_t time);
    void handleSelectionRequest(const xcb_selection_request_event_t *event);
    void reply(const xcb_selection_request_event_t &request, xcb_atom_t property);
    bool answerSaves();
    SelectionOwner ownerKind(xcb_window_t owner) const
    {
        return owner == XCB_NONE ? SelectionOwner::none
               : isOurs(owner)   ? SelectionOwner::ours
                                 : SelectionOwner::other;
    }
    void handleSelectionNotify(const xcb_selection_notify_event_t *event);
    void handlePropertyNotify(const xcb_property_notify_event_t *event);

    void startRead(quint64 serial, xcb_timestamp_t time);
    void request(xcb_atom_t target);
    void transferDone(xcb_atom_t type, const QByteArray &data);
    void transferFailed();
    void requestNextCandidate();
    void finishRead();
    void abandonRead();
    void retireWindow(Transfer &transfer);
    bool takeRetired(xcb_window_t window);
    void dropExpiredRetired();
    void planTargets(const QByteArray &atomList);
    void addToContent(const TargetGroup &group, xcb_atom_t target, xcb_atom_t type, QByteArray data);

    bool isOurs(xcb_window_t window) const
    {
        return window != XCB_NONE && m_ourClient && (window & ~m_ourClient->mask) == m_ourClient->base;
    }
    qint64 budget() const { return m_read ? m_limits.maxTotalBytes - m_read->bytes : 0; }
    bool readingText() const
    {
        return m_read && m_read->haveTargets && m_read->group < m_read->plan.size() &&
               m_read->plan.at(m_read->group).kind == TargetGroup::Text;
    }
    xcb_atom_t intern(const char *name);
    QString atomName(xcb_atom_t atom);
    void fetchAtomNames(const QList<xcb_atom_t> &atoms);
    Property takeProperty(xcb_window_t window, qint64 budget);
    xcb_window_t selectionOwner();
    void destroyWindow(Transfer &transfer);

    Callbacks m_callbacks;
    std::optional<X11ClientIds> m_ourClient;
    X11SelectionLimits m_limits;
    bool m_connected = false;
    std::atomic<bool> m_isManager = false;

    std::mutex m_mutex;
    std::vector<Command> m_commands;
    int m_wakeFd = -1;
    std::thread m_thread;

    // Everything below belongs to the watcher's thread once it runs.
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_listener = XCB_NONE;
    uint8_t m_xfixesEventBase = 0;
    xcb_atom_t m_clipboard = XCB_NONE;
    xcb_atom_t m_targets = XCB_NONE;
    xcb_atom_t m_incr = XCB_NONE;
    xcb_atom_t m_utf8String = XCB_NONE;
    xcb_atom_t m_compoundText = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_manager = XCB_NONE;
    xcb_atom_t m_saveTargets = XCB_NONE;
    xcb_atom_t m_timestamp = XCB_NONE;
    xcb_atom_t m_null = XCB_NONE;
    // When we took CLIPBOARD_MANAGER; none while another program holds it, or nobody.
    std::optional<xcb_timestamp_t> m_managerSince;
    std::vector<SaveRequest> m_saves;
    QHash<xcb_atom_t, QString> m_names;
    quint64 m_serial = 0;
    std::optional<Read> m_read;
    std::vector<RetiredWindow> m_retired;
};

bool X11SelectionWatcher::Private::connect()
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return false;
    const XcbDisplay display = connectToDisplay();
    m_connection = display.connection;
    if (!m_connection)
        return false;

    const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return false;
    m_xfixesEventBase = xfixes->first_event;
    // The extension answers nothing until the client has announced the version it speaks.
    XcbPointer<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(m_connection, xcb_xfixes_query_version(m_connection, 2, 0), nullptr));
    if (!version || version->major_version < 1)
        return false;

    m_root = display.screen->root;

    m_clipboard = intern("CLIPBOARD");
    m_targets = intern("TARGETS");
    m_incr = intern("INCR");
    m_utf8String = intern("UTF8_STRING");
    m_compoundText = intern("COMPOUND_TEXT");
    m_property = intern("TARNO_SELECTION");
    m_manager = intern("CLIPBOARD_MANAGER");
    m_saveTargets = intern("SAVE_TARGETS");
    m_timestamp = intern("TIMESTAMP");
    m_null = intern("NULL");
    if (!m_clipboard || !m_targets || !m_incr || !m_property || !m_manager)
        return false;

    m_listener = xcb_generate_id(m_connection);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_listener, m_root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    // A selection is taken with a real server time, and an empty append to a property of our own
    // window is how a client learns one. Nothing else can reach this connection yet.
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_listener, m_property, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(m_connection);
    xcb_timestamp_t now = XCB_CURRENT_TIME;
    while (XcbPointer<xcb_generic_event_t> event{xcb_wait_for_event(m_connection)}) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            now = reinterpret_cast<const xcb_property_notify_event_t *>(event.get())->time;
            break;
        }
    }
    xcb_xfixes_select_selection_input(m_connection, m_listener, m_manager,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    claimManager(now);
    xcb_xfixes_select_selection_input(m_connection, m_listener, m_clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(m_connection);
    m_connected = !xcb_connection_has_error(m_connection);
    return m_connected;
}

void X11SelectionWatcher::Private::post(Command command)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(command);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

std::vector<Command> X11SelectionWatcher::Private::takeCommands()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_commands, {});
}

void X11SelectionWatcher::Private::run()
{
    // The content already there counts as no change, but is read all the same, unless an owner
    // change reported while asking for the owner has already started the read of newer content.
    const xcb_window_t owner = selectionOwner();
    drainQueuedEvents();
    if (m_serial == 0) {
        if (ownerKind(owner) == SelectionOwner::other)
            startRead(0, XCB_CURRENT_TIME);
        else
            m_callbacks.contentRead(0, {});
    }

    for (;;) {
        bool progressed = false;
        while (XcbPointer<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
            handleEvent(event.get());
            progressed = true;
        }
        if (xcb_connection_has_error(m_connection))
            return;
        for (const Command &command : takeCommands()) {
            if (!handleCommand(command))
                return;
            progressed = true;
        }
        if (m_read && Clock::now() >= m_read->transfer.deadline) {
            // The owner is slow or hung: keep what it gave and stop asking it.
            finishRead();
            progressed = true;
        }
        if (answerSaves())
            progressed = true;
        // Anything done above may have queued events inside xcb that poll() would not see.
        if (progressed)
            continue;

        dropExpiredRetired();
        xcb_flush(m_connection);
        std::optional<Clock::time_point> wakeAt;
        if (m_read)
            wakeAt = m_read->transfer.deadline;
        for (const RetiredWindow &retired : m_retired)
            wakeAt = std::min(wakeAt.value_or(retired.until), retired.until);
        for (const SaveRequest &save : m_saves)
            wakeAt = std::min(wakeAt.value_or(save.deadline), save.deadline);
        int timeout = -1;
        if (wakeAt) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - Clock::now());
            timeout = int(std::max<qint64>(0, left.count()));
        }
        pollfd fds[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN)) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
        }
    }
}

bool X11SelectionWatcher::Private::handleCommand(const Command &command)
{
    switch (command.kind) {
    case CommandKind::Stop:
        return false;
    case CommandKind::Sync: {
        // The server answers after sending every event it generated before; those are queued in
        // xcb by now and are reported first.
        const xcb_window_t owner = selectionOwner();
        drainQueuedEvents();
        m_callbacks.synced(command.token, isOurs(owner));
        return true;
    }
    case CommandKind::Reread: {
        abandonRead();
        const quint64 serial = ++m_serial;
        const xcb_window_t owner = selectionOwner();
        drainQueuedEvents();
        if (serial != m_serial)
            return true; // a real owner change came in meanwhile and has been handled
        m_callbacks.ownerChanged(serial, ownerKind(owner));
        if (ownerKind(owner) == SelectionOwner::other)
            startRead(serial, XCB_CURRENT_TIME);
        else
            m_callbacks.contentRead(serial, {});
        return true;
    }
    }
    return true;
}

void X11SelectionWatcher::Private::drainQueuedEvents()
{
    while (XcbPointer<xcb_generic_event_t> event{xcb_poll_for_queued_event(m_connection)})
        handleEvent(event.get());
}

void X11SelectionWatcher::Private::handleEvent(const xcb_generic_event_t *event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == m_xfixesEventBase + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        if (notify->selection == m_manager) {
            claimManager(notify->timestamp); // the other manager has gone
            return;
        }
        if (notify->selection != m_clipboard)
            return;
        // When the owner's window or client goes away, the selection is left without an owner.
        const bool newOwner = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
        handleOwnerChange(newOwner ? notify->owner : XCB_NONE, notify->timestamp);
    } else if (type == XCB_SELECTION_NOTIFY) {
        handleSelectionNotify(reinterpret_cast<const xcb_selection_notify_event_t *>(event));
    } else if (type == XCB_PROPERTY_NOTIFY) {
        handlePropertyNotify(reinterpret_cast<const xcb_property_notify_event_t *>(event));
    } else if (type == XCB_SELECTION_REQUEST) {
        handleSelectionRequest(reinterpret_cast<const xcb_selection_request_event_t *>(event));
    } else if (type == XCB_SELECTION_CLEAR) {
        // Another manager has replaced us, as the manager convention allows.
        const auto *clear = reinterpret_cast<const xcb_selection_clear_event_t *>(event);
        if (clear->selection == m_manager) {
            m_managerSince.reset();
            m_isManager = false;
        }
    }
    // Errors come from requests about windows that are gone; there is nothing to do about them.
}

void X11SelectionWatcher::Private::handleOwnerChange(xcb_window_t owner, xcb_timestamp_t time)
{
    abandonRead();
    const quint64 serial = ++m_serial;
    const SelectionOwner kind = ownerKind(owner);
    m_callbacks.ownerChanged(serial, kind);
    if (kind == SelectionOwner::other)
        startRead(serial, time);
    else
        m_callbacks.contentRead(serial, {});
}

void X11SelectionWatcher::Private::claimManager(xcb_timestamp_t time)
{
    XcbPointer<xcb_get_selection_owner_reply_t> holder(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_manager), nullptr));
    if (!holder || holder->owner != XCB_NONE)
        return; // the desktop's own manager, or another one, is in charge
    xcb_set_selection_owner(m_connection, m_listener, m_manager, time);
    XcbPointer<xcb_get_selection_owner_reply_t> taken(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_manager), nullptr));
    if (!taken || taken->owner != m_listener)
        return;
    m_managerSince = time;
    m_isManager = true;
    // Announced to whoever waits for a manager to appear.
    xcb_client_message_event_t announce{};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = m_root;
    announce.type = intern("MANAGER");
    announce.data.data32[0] = time;
    announce.data.data32[1] = m_manager;
    announce.data.data32[2] = m_listener;
    xcb_send_event(m_connection, 0, m_root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&announce));
    xcb_flush(m_connection);
}

void X11SelectionWatcher::Private::handleSelectionRequest(const xcb_selection_request_event_t *event)
{
    // Obsolete requestors name no property; the target's name is then used for it.
    const xcb_atom_t property = event->property != XCB_NONE ? event->property : event->target;
    if (event->selection != m_manager || !m_managerSince ||
        (event->time != XCB_CURRENT_TIME && event->time < *m_managerSince)) {
        reply(*event, XCB_NONE);
        return;
    }
    if (event->target == m_targets) {
        const xcb_atom_t targets[] = {m_targets, m_saveTargets, m_timestamp};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, event->requestor, property, XCB_ATOM_ATOM,
                            32, 3, targets);
        reply(*event, property);
    } else if (event->target == m_timestamp) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, event->requestor, property, XCB_ATOM_INTEGER,
                            32, 1, &*m_managerSince);
        reply(*event, property);
    } else if (event->target == m_saveTargets) {
        // Every read already keeps each format the owner offers that we use, whatever targets the
        // requestor lists; it waits only for the read of the current owner to end.
        m_saves.push_back({event->requestor, property, event->time, Clock::now() + m_limits.requestTimeout});
    } else {
        reply(*event, XCB_NONE);
    }
}

void X11SelectionWatcher::Private::reply(const xcb_selection_request_event_t &request, xcb_atom_t property)
{
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    xcb_flush(m_connection);
}

bool X11SelectionWatcher::Private::answerSaves()
{
    if (m_saves.empty())
        return false;
    const Clock::time_point now = Clock::now();
    const bool settled = !m_read;
    const auto before = m_saves.size();
    std::erase_if(m_saves, [&](const SaveRequest &save) {
        if (!settled && now < save.deadline)
            return false;
        xcb_selection_request_event_t request{};
        request.time = save.time;
        request.requestor = save.requestor;
        request.selection = m_manager;
        request.target = m_saveTargets;
        request.property = save.property;
        // A side-effect target is answered with an empty property of type NULL.
        if (settled)
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, save.requestor, save.property, m_null,
                                32, 0, nullptr);
        reply(request, settled ? save.property : XCB_NONE);
        return true;
    });
    return m_saves.size() != before;
}

void X11SelectionWatcher::Private::startRead(quint64 serial, xcb_timestamp_t time)
{
    m_read.emplace();
    m_read->serial = serial;
    m_read->time = time;
    request(m_targets);
}

void X11SelectionWatcher::Private::request(xcb_atom_t target)
{
    Transfer &transfer = m_read->transfer;
    transfer = Transfer{};
    transfer.window = xcb_generate_id(m_connection);
    transfer.target = target;
    const uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, transfer.window, m_root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_convert_selection(m_connection, transfer.window, m_clipboard, target, m_property, m_read->time);
    transfer.deadline = Clock::now() + m_limits.requestTimeout;
}

void X11SelectionWatcher::Private::handleSelectionNotify(const xcb_selection_notify_event_t *event)
{
    if (takeRetired(event->requestor))
        return; // the owner has answered a read already given up; its window can go now
    if (!m_read)
        return;
    Transfer &transfer = m_read->transfer;
    if (event->requestor != transfer.window || event->selection != m_clipboard ||
        event->target != transfer.target || transfer.incremental)
        return;
    if (event->property == XCB_NONE) {
        transferFailed();
        return;
    }
    Property property = takeProperty(transfer.window, budget());
    if (property.tooLarge) {
        transferFailed();
        return;
    }
    if (property.type == m_incr) {
        // Deleting the INCR property (done by taking it) asks the owner for the first increment.
        transfer.incremental = true;
        // Its value is the owner's lower bound on the size: one buffer of that size, within our own
        // bound, instead of one grown to half as much again by doubling.
        if (property.data.size() >= qsizetype(sizeof(quint32))) {
            quint32 size = 0;
            std::memcpy(&size, property.data.constData(), sizeof size);
            const qint64 bound = readingText() ? std::min(budget(), m_limits.maxTextBytes) : budget();
            transfer.data.reserve(qsizetype(std::clamp<qint64>(size, 0, bound)));
        }
        transfer.deadline = Clock::now() + m_limits.requestTimeout;
        return;
    }
    if (readingText() && property.data.size() > m_limits.maxTextBytes)
        property.data.truncate(m_limits.maxTextBytes);
    transferDone(property.type, property.data);
}

void X11SelectionWatcher::Private::handlePropertyNotify(const xcb_property_notify_event_t *event)
{
    if (!m_read)
        return;
    Transfer &transfer = m_read->transfer;
    if (!transfer.incremental || event->window != transfer.window || event->atom != m_property ||
        event->state != XCB_PROPERTY_NEW_VALUE)
        return;
    // Past the bound, the rest is still taken (and thrown away) so that the owner can finish.
    const bool draining = transfer.discarding || transfer.full;
    const bool text = readingText();
    Property chunk = takeProperty(transfer.window, draining || text ? m_limits.maxTotalBytes
                                                                    : budget() - transfer.data.size());
    transfer.deadline = Clock::now() + m_limits.requestTimeout;
    if (chunk.tooLarge && !draining) {
        transfer.discarding = true;
        transfer.data = QByteArray();
        return;
    }
    if (chunk.data.isEmpty() && !chunk.tooLarge) {
        if (transfer.discarding)
            transferFailed();
        else
            transferDone(chunk.type, transfer.data);
        return;
    }
    if (draining)
        return;
    if (text) {
        const qint64 room = std::min(budget(), m_limits.maxTextBytes) - transfer.data.size();
        if (chunk.data.size() >= room) {
            chunk.data.truncate(std::max<qint64>(room, 0));
            transfer.full = true;
        }
    }
    transfer.data.append(chunk.data);
}

void X11SelectionWatcher::Private::transferDone(xcb_atom_t type, const QByteArray &data)
{
    destroyWindow(m_read->transfer);
    if (!m_read->haveTargets) {
        m_read->haveTargets = true;
        planTargets(data);
        m_read->group = 0;
        m_read->candidate = 0;
        requestNextCandidate();
        return;
    }
    const TargetGroup &group = m_read->plan.at(m_read->group);
    const xcb_atom_t target = group.candidates.at(m_read->candidate);
    const qsizetype before = m_read->content.formats.size();
    addToContent(group, target, type, data);
    if (atomName(target) == PasteboardType::passwordManagerHint && data.trimmed() == "secret")
        m_read->plan.resize(m_read->group + 1); // nothing more is asked of the owner
    if (m_read->content.formats.size() > before) {
        ++m_read->group;
        m_read->candidate = 0;
    } else {
        ++m_read->candidate;
    }
    requestNextCandidate();
}

void X11SelectionWatcher::Private::transferFailed()
{
    destroyWindow(m_read->transfer);
    if (!m_read->haveTargets) {
        finishRead();
        return;
    }
    ++m_read->candidate;
    requestNextCandidate();
}

void X11SelectionWatcher::Private::requestNextCandidate()
{
    while (m_read->group < m_read->plan.size()) {
        const TargetGroup &group = m_read->plan.at(m_read->group);
        if (m_read->candidate < group.candidates.size()) {
            request(group.candidates.at(m_read->candidate));
            return;
        }
        ++m_read->group;
        m_read->candidate = 0;
    }
    finishRead();
}

void X11SelectionWatcher::Private::finishRead()
{
    // A request still open here has timed out; its owner may answer yet.
    retireWindow(m_read->transfer);
    Read read = std::move(*m_read);
    m_read.reset();
    m_callbacks.contentRead(read.serial, std::move(read.content));
}

void X11SelectionWatcher::Private::abandonRead()
{
    if (!m_read)
        return;
    retireWindow(m_read->transfer);
    m_read.reset();
}

void X11SelectionWatcher::Private::retireWindow(Transfer &transfer)
{
    // The owner may be about to write into the window; a write into a destroyed window is an error,
    // and owners that keep Xlib's default error handler exit on it, taking the clipboard's content
    // along. Such a request may well have reached the new owner, if it crossed its owner change. So
    // the window stays until the owner answers, or for a while if it never does.
    if (transfer.window == XCB_NONE)
        return;
    m_retired.push_back(RetiredWindow{transfer.window, Clock::now() + retiredWindowLifetime});
    transfer.window = XCB_NONE;
}

bool X11SelectionWatcher::Private::takeRetired(xcb_window_t window)
{
    const auto found =
        std::find_if(m_retired.begin(), m_retired.end(),
                     [window](const RetiredWindow &retired) { return retired.window == window; });
    if (found == m_retired.end())
        return false;
    // An incremental answer now waits for a deletion that never comes; the owner asks nothing more.
    xcb_destroy_window(m_connection, window);
    m_retired.erase(found);
    return true;
}

void X11SelectionWatcher::Private::dropExpiredRetired()
{
    const Clock::time_point now = Clock::now();
    std::erase_if(m_retired, [this, now](const RetiredWindow &retired) {
        if (retired.until > now)
            return false;
        xcb_destroy_window(m_connection, retired.window);
        return true;
    });
}

void X11SelectionWatcher::Private::planTargets(const QByteArray &atomList)
{
    QList<xcb_atom_t> targets;
    targets.resize(atomList.size() / qsizetype(sizeof(xcb_atom_t)));
    std::memcpy(targets.data(), atomList.constData(), size_t(targets.size()) * sizeof(xcb_atom_t));
    fetchAtomNames(targets);

    QStringList names;
    names.reserve(targets.size());
    for (const xcb_atom_t atom : std::as_const(targets))
        names.append(atom == XCB_NONE ? QString() : atomName(atom));
    QList<TargetGroup> plan;
    for (const TypeGroup &group : planReads(names)) {
        TargetGroup targetGroup{group.kind == TypeGroup::Text ? TargetGroup::Text : TargetGroup::Raw, {}};
        for (const qsizetype i : group.candidates)
            targetGroup.candidates.append(targets.at(i));
        plan.append(std::move(targetGroup));
    }
    m_read->plan = std::move(plan);
}

void X11SelectionWatcher::Private::addToContent(const TargetGroup &group, xcb_atom_t target, xcb_atom_t type,
                                                QByteArray data)
{
    if (group.kind == TargetGroup::Raw) {
        if (data.isEmpty())
            return;
        m_read->bytes += data.size();
        m_read->content.formats.append({atomName(target), std::move(data)});
        return;
    }

    if (data.endsWith('\0'))
        data.chop(1);
    TextType kind = *textType(atomName(target));
    if (kind == TextType::Text) {
        // TEXT is answered in an encoding of the owner's choosing, named by the reply's type.
        if (type == XCB_ATOM_STRING) {
            kind = TextType::String;
        } else if (type == m_compoundText) {
            const bool plainAscii =
                std::all_of(data.cbegin(), data.cend(), [](char c) { return uchar(c) < 0x80 && c != 0x1b; });
            if (!plainAscii)
                return;
        }
    }
    if (kind == TextType::String)
        data = QString::fromLatin1(data).toUtf8();
    m_read->bytes += data.size();
    m_read->content.formats.append({QStringLiteral("text/plain"), std::move(data)});
}

xcb_atom_t X11SelectionWatcher::Private::intern(const char *name)
{
    XcbPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    if (!reply)
        return XCB_NONE;
    m_names.insert(reply->atom, QString::fromLatin1(name));
    return reply->atom;
}

QString X11SelectionWatcher::Private::atomName(xcb_atom_t atom)
{
    if (!m_names.contains(atom))
        fetchAtomNames({atom});
    return m_names.value(atom);
}

void X11SelectionWatcher::Private::fetchAtomNames(const QList<xcb_atom_t> &atoms)
{
    // Asked all at once: one round trip to the server (never to the owner) for the whole list.
    QList<QPair<xcb_atom_t, xcb_get_atom_name_cookie_t>> cookies;
    for (const xcb_atom_t atom : atoms) {
        if (atom != XCB_NONE && !m_names.contains(atom))
            cookies.append({atom, xcb_get_atom_name(m_connection, atom)});
    }
    for (const auto &[atom, cookie] : std::as_const(cookies)) {
        XcbPointer<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(m_connection, cookie, nullptr));
        m_names.insert(atom, reply ? QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                                         xcb_get_atom_name_name_length(reply.get()))
                                   : QString());
    }
}

Property X11SelectionWatcher::Private::takeProperty(xcb_window_t window, qint64 budget)
{
    Property property;
    // Its size first, so that an owner cannot make us take in more than the bound in one reply.
    XcbPointer<xcb_get_property_reply_t> probe(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    if (!probe)
        return property;
    property.type = probe->type;
    property.format = probe->format;
    if (qint64(probe->bytes_after) > budget) {
        xcb_delete_property(m_connection, window, m_property);
        property.tooLarge = true;
        return property;
    }
    XcbPointer<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 1, window, m_property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, (probe->bytes_after + 3) / 4),
                               nullptr));
    if (!reply)
        return property;
    property.type = reply->type;
    property.format = reply->format;
    const int length = xcb_get_property_value_length(reply.get());
    property.data = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    return property;
}

xcb_window_t X11SelectionWatcher::Private::selectionOwner()
{
    XcbPointer<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

void X11SelectionWatcher::Private::destroyWindow(Transfer &transfer)
{
    if (transfer.window == XCB_NONE)
        return;
    xcb_destroy_window(m_connection, transfer.window);
    transfer.window = XCB_NONE;
}

X11SelectionWatcher::X11SelectionWatcher(Callbacks callbacks, std::optional<X11ClientIds> ourClient,
                                         X11SelectionLimits limits)
    : d(std::make_unique<Private>(std::move(callbacks), ourClient, limits))
{
    if (d->connect())
        d->start();
}

X11SelectionWatcher::~X11SelectionWatcher() = default;

bool X11SelectionWatcher::isClipboardManager() const
{
    return d->isClipboardManager();
}

bool X11SelectionWatcher::isConnected() const
{
    return d->isConnected();
}

void X11SelectionWatcher::sync(quint64 token)
{
    if (d->isConnected())
        d->post({CommandKind::Sync, token});
}

void X11SelectionWatcher::reread()
{
    if (d->isConnected())
        d->post({CommandKind::Reread});
}

} // namespace tarno
