#include "platform/x11/X11GlobalShortcut.h"

#include "platform/x11/XcbDisplay.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace tarno {

namespace {

// Keysyms of the keys Qt names outside Latin-1 (X11/keysymdef.h).
xcb_keysym_t keysymOf(int key)
{
    if (key >= 0x20 && key <= 0xff)
        return xcb_keysym_t(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return xcb_keysym_t(0xffbe + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Enter:
        return 0xff8d;
    case Qt::Key_Insert:
        return 0xff63;
    case Qt::Key_Delete:
        return 0xffff;
    case Qt::Key_Pause:
        return 0xff13;
    case Qt::Key_Print:
        return 0xff61;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_End:
        return 0xff57;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    case Qt::Key_PageUp:
        return 0xff55;
    case Qt::Key_PageDown:
        return 0xff56;
    case Qt::Key_Menu:
        return 0xff67;
    default:
        return 0;
    }
}

constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr xcb_keysym_t altKeysym = 0xffe9;   // Alt_L
constexpr xcb_keysym_t superKeysym = 0xffeb; // Super_L

struct Grab
{
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
};

} // namespace

class X11GlobalShortcut::Private : public QObject
{
public:
    ~Private() override { closeConnection(); }

    bool openConnection()
    {
        if (connection)
            return true;
        const XcbDisplay display = connectToDisplay();
        if (!display.connection)
            return false;
        xcb_connection_t *c = display.connection;
        root = display.screen->root;
        connection = c;
        symbols = xcb_key_symbols_alloc(c);
        notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
        return true;
    }

    void closeConnection()
    {
        notifier.reset();
        if (symbols)
            xcb_key_symbols_free(symbols);
        symbols = nullptr;
        if (connection)
            xcb_disconnect(connection);
        connection = nullptr;
        grabs.clear();
    }

    // The key codes that produce the keysym, in any shift level; empty when the keyboard has none.
    std::vector<xcb_keycode_t> keycodesOf(xcb_keysym_t keysym) const
    {
        std::vector<xcb_keycode_t> keycodes;
        if (xcb_keycode_t *found = xcb_key_symbols_get_keycode(symbols, keysym)) {
            for (xcb_keycode_t *k = found; *k != XCB_NO_SYMBOL; ++k)
                keycodes.push_back(*k);
            std::free(found);
        }
        return keycodes;
    }

    // The modifier bits that the keys of each keysym are mapped to, as the server's modifier mapping
    // says now; 0 for a keysym on no modifier.
    template <size_t N> std::array<uint16_t, N> modifierMasks(const std::array<xcb_keysym_t, N> &keysyms)
    {
        std::array<uint16_t, N> masks{};
        xcb_get_modifier_mapping_reply_t *mapping =
            xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
        if (!mapping)
            return masks;
        const xcb_keycode_t *table = xcb_get_modifier_mapping_keycodes(mapping);
        const int perModifier = mapping->keycodes_per_modifier;
        for (size_t i = 0; i < N; ++i) {
            const std::vector<xcb_keycode_t> keycodes = keycodesOf(keysyms[i]);
            for (int modifier = 0; modifier < 8; ++modifier) {
                for (int k = 0; k < perModifier; ++k) {
                    const xcb_keycode_t keycode = table[modifier * perModifier + k];
                    if (keycode != 0 &&
                        std::find(keycodes.begin(), keycodes.end(), keycode) != keycodes.end())
                        masks[i] |= uint16_t(1u << modifier);
                }
            }
        }
        std::free(mapping);
        return masks;
    }

    void ungrab()
    {
        for (const Grab &grab : grabs)
            xcb_ungrab_key(connection, grab.keycode, root, grab.modifiers);
        grabs.clear();
        isPressed = false;
        if (connection)
            xcb_flush(connection);
    }

    Result grab(QKeyCombination combination)
    {
        const xcb_keysym_t keysym = keysymOf(combination.key());
        const std::vector<xcb_keycode_t> keycodes =
            keysym ? keycodesOf(keysym) : std::vector<xcb_keycode_t>();
        if (keycodes.empty())
            return Result::unsupported;
        const auto [numLock, alt, super] = modifierMasks(std::array{numLockKeysym, altKeysym, superKeysym});
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        uint16_t mask = 0;
        if (modifiers & Qt::ShiftModifier)
            mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & Qt::ControlModifier)
            mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & Qt::AltModifier)
            mask |= alt ? alt : uint16_t(XCB_MOD_MASK_1);
        if (modifiers & Qt::MetaModifier)
            mask |= super ? super : uint16_t(XCB_MOD_MASK_4);

        // Every combination of the two locks, each once even where Num Lock is on no modifier.
        std::vector<uint16_t> locks{0, XCB_MOD_MASK_LOCK};
        if (numLock && !(numLock & mask))
            locks.insert(locks.end(), {numLock, uint16_t(numLock | XCB_MOD_MASK_LOCK)});
        std::vector<xcb_void_cookie_t> cookies;
        for (const uint16_t lock : locks) {
            grabs.push_back({keycodes.front(), uint16_t(mask | lock)});
            cookies.push_back(xcb_grab_key_checked(connection, false, root, uint16_t(mask | lock),
                                                   keycodes.front(), XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        }
        bool refused = false;
        for (const xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
                refused = true;
                std::free(error);
            }
        }
        if (refused) {
            // Ungrabbing what another client holds leaves its grab alone.
            ungrab();
            return Result::inUse;
        }
        return Result::ok;
    }

    void readEvents()
    {
        std::vector<xcb_generic_event_t *> events;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            events.push_back(event);
        int activations = 0;
        bool remapped = false;
        for (size_t i = 0; i < events.size(); ++i) {
            const uint8_t type = events[i]->response_type & ~0x80;
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
                const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(events[i]);
                if (grabs.empty() || key->detail != grabs.front().keycode)
                    continue;
                if (type == XCB_KEY_PRESS) {
                    isPressed = true;
                    continue;
                }
                // A key held down repeats as a release and a press at the same moment: still held.
                const auto *next = i + 1 < events.size()
                                       ? reinterpret_cast<const xcb_key_press_event_t *>(events[i + 1])
                                       : nullptr;
                if (next && (next->response_type & ~0x80) == XCB_KEY_PRESS && next->detail == key->detail &&
                    next->time == key->time)
                    continue;
                if (std::exchange(isPressed, false))
                    ++activations;
            } else if (type == XCB_MAPPING_NOTIFY) {
                auto *mapping = reinterpret_cast<xcb_mapping_notify_event_t *>(events[i]);
                xcb_refresh_keyboard_mapping(symbols, mapping);
                remapped = remapped || mapping->request != XCB_MAPPING_POINTER;
            }
        }
        for (xcb_generic_event_t *event : events)
            std::free(event);
        if (xcb_connection_has_error(connection)) {
            closeConnection();
            return;
        }
        if (remapped && combination) {
            ungrab();
            grab(*combination);
        }
        for (int i = 0; i < activations; ++i) {
            if (handler)
                handler();
        }
    }

    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_key_symbols_t *symbols = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    std::vector<Grab> grabs;
    std::optional<QKeyCombination> combination;
    bool isPressed = false;
    Handler handler;
};

X11GlobalShortcut::X11GlobalShortcut() : d(std::make_unique<Private>()) {}

X11GlobalShortcut::~X11GlobalShortcut() = default;

GlobalShortcut::Result X11GlobalShortcut::setKeyCombination(std::optional<QKeyCombination> combination)
{
    if (d->connection)
        d->ungrab();
    d->combination.reset();
    if (!combination)
        return Result::ok;
    if (!d->openConnection())
        return Result::unsupported;
    const Result result = d->grab(*combination);
    if (result == Result::ok)
        d->combination = combination;
    return result;
}

void X11GlobalShortcut::setActivatedHandler(Handler handler)
{
    d->handler = std::move(handler);
}

} // namespace tarno
