#pragma once

#include "model/ClipboardItem.h"
#include "model/PasteboardCapture.h"
#include "platform/api/EventMonitors.h"
#include "platform/api/Popover.h"

#include <functional>
#include <memory>
#include <optional>

namespace tarno {

class Application;
class ClipboardHistoryViewModel;
class GleanerySettings;
class GlobalShortcut;
class ImageCodec;
class KeyValueStore;
class MenuBarDropView;
struct MenuItem;
class NotificationCenter;
class PopoverHostController;
class ShellServices;
class ShortcutSetting;
class StatusBar;
class StatusItem;

// The one controller of a run. It owns the history and the settings, builds the status item and the
// popover, starts and stops the services that feed the history, and runs the popover: opening it
// against the status item, closing it with its animation or on a click anywhere outside it, the
// status item's menu, and the global shortcut that opens and closes it from anywhere. Main thread only. Every
// callback it hands out holds it weakly and does nothing once it is gone.
class MenuBarController : public PopoverDelegate
{
public:
    static constexpr QSizeF popoverContentSize{360, 480};
    static inline const QString popoverWillCloseNotification = QStringLiteral("gleaneryPopoverWillClose");
    static inline const QString capturingPausedNotification =
        QStringLiteral("gleaneryCapturingPausedChanged");
    static inline const QString pauseTitle = QStringLiteral("Pause Capturing");
    static inline const QString quitTitle = QStringLiteral("Quit Tarno");
    static inline const QString quitKeyEquivalent = QStringLiteral("q");

    // What opened the popover: the pointer (a click, a drag) or the keyboard (the global shortcut,
    // the command line a desktop's own shortcut runs).
    enum class Opening
    {
        pointer,
        keyboard
    };

    enum class PopoverState
    {
        hidden,
        shown,
        // The disappear animation runs; the popover is still shown.
        closing
    };

    // What the controller reaches the system through; everything must outlive it.
    struct Environment
    {
        Runtime &runtime;
        const ImageCodec &codec;
        KeyValueStore &settingsStore;
        StatusBar &statusBar;
        std::function<std::unique_ptr<Popover>()> makePopover;
        EventMonitors &eventMonitors;
        Application &application;
        NotificationCenter &notifications;
        ShellServices &services;
        GlobalShortcut &globalShortcut;
    };

    // Makes the two stores, the settings loaded from the store; builds nothing visible and starts
    // nothing.
    explicit MenuBarController(Environment environment);
    ~MenuBarController() override;
    MenuBarController(const MenuBarController &) = delete;
    MenuBarController &operator=(const MenuBarController &) = delete;

    // The global shortcut, taken before the status item is shown, so that once the item appears the
    // shortcut works; then the status item and popover, then the services. Only the first call does
    // anything.
    void setup();
    // The services first, then the popover and status item. Only the first call after setup does
    // anything.
    void teardown();

    // The user's pause: while it lasts the services capture nothing, neither then nor afterwards, and
    // the status item and the popover say so; drops and a row's copy still work. Kept by the services,
    // never persisted. A change is announced with `capturingPausedNotification`.
    bool isCapturingPaused() const;
    void setCapturingPaused(bool paused);

    void handleCapturedItem(const ClipboardItem &item);
    // Pauses the clipboard monitor, then adds the captures in order; an empty list changes nothing.
    void handleDroppedCaptures(const PasteboardCaptures &captures);

    void togglePopover(Opening opening = Opening::pointer);
    void showPopover(Opening opening = Opening::pointer);
    // As the command line asks, opening from the keyboard: at once when the status item has its
    // place, else as soon as it finds one, so the popover never opens against nothing.
    void showPopoverWhenPlaced();
    void togglePopoverWhenPlaced();
    void closePopover();
    // "Pause Capturing", checked while paused, then "Quit Tarno".
    QList<MenuItem> contextMenuItems();
    void showContextMenu();
    void installClickMonitors();
    void removeClickMonitors();
    void closePopoverIfClickOutside();
    void popoverDidClose() override;

    StatusItem *statusItem() const { return m_statusItem.get(); }
    MenuBarDropView *menuBarView() const { return m_menuBarView.get(); }
    Popover *popover() const { return m_popover.get(); }
    PopoverHostController *popoverHost() const { return m_popoverHost.get(); }
    std::optional<EventMonitors::Token> globalClickMonitor() const { return m_globalClickMonitor; }
    std::optional<EventMonitors::Token> localClickMonitor() const { return m_localClickMonitor; }
    ClipboardHistoryViewModel &historyViewModel() const { return *m_historyViewModel; }
    GleanerySettings &settings() const { return *m_settings; }
    ShortcutSetting &shortcutSetting() const { return *m_shortcut; }
    PopoverState popoverState() const { return m_popoverState; }

private:
    enum class Lifecycle
    {
        constructed,
        running,
        tornDown
    };

    void setupInterface();
    void teardownInterface();
    // A callable that runs `body` with the controller if it still exists.
    template <typename Body> auto weakly(Body body) const;

    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<MenuBarDropView> m_menuBarView;
    std::shared_ptr<Popover> m_popover;
    std::unique_ptr<PopoverHostController> m_popoverHost;
    std::optional<EventMonitors::Token> m_globalClickMonitor;
    std::optional<EventMonitors::Token> m_localClickMonitor;
    std::unique_ptr<ClipboardHistoryViewModel> m_historyViewModel;
    std::unique_ptr<GleanerySettings> m_settings;
    std::unique_ptr<ShortcutSetting> m_shortcut;

    Environment m_environment;
    Lifecycle m_lifecycle = Lifecycle::constructed;
    PopoverState m_popoverState = PopoverState::hidden;
    bool m_isPlaced = false;
    bool m_showsWhenPlaced = false;
    // Counts closes, so the end of an old disappear animation never closes a popover shown since.
    quint64 m_closeSequence = 0;
    // The observer of the view model's close request while the interface exists; 0 for none.
    quint64 m_closeRequestObserver = 0;
    std::shared_ptr<MenuBarController *> m_self;
};

} // namespace tarno
