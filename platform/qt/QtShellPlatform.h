#pragma once

#include <QString>

#include <memory>

namespace tarno {

class Appearance;
class Application;
class EventMonitors;
class GlobalShortcut;
class Popover;
class StatusBar;

// What the shell reaches the desktop through, made once by the composition root after the
// application object: the status area the desktop offers, popovers, click monitors, the global
// shortcut and the application. The status area is chosen here, once: an XEmbed tray when one owns the tray
// selection, else a StatusNotifierItem host when a watcher is on the session bus, else XEmbed again, which
// docks as soon as a tray appears, or becomes a StatusNotifierItem when a watcher appears on the bus first.
class QtShellPlatform
{
public:
    enum class TrayKind
    {
        xembed,
        statusNotifier
    };

    // The SVGs of the status item's icon and of its paused variant; the status item and the popovers
    // follow `appearance`, which must outlive this object.
    QtShellPlatform(const QString &iconPath, const QString &pausedIconPath, Appearance &appearance);
    ~QtShellPlatform();

    TrayKind trayKind() const { return m_trayKind; }
    StatusBar &statusBar() const { return *m_statusBar; }
    EventMonitors &eventMonitors() const { return *m_eventMonitors; }
    // An X key grab; none in a Wayland session, whose X server sees keys only while one of its own
    // windows has the focus.
    GlobalShortcut &globalShortcut() const { return *m_globalShortcut; }
    Application &application() const { return *m_application; }
    std::unique_ptr<Popover> makePopover() const;

private:
    Appearance &m_appearance;
    TrayKind m_trayKind;
    std::unique_ptr<StatusBar> m_statusBar;
    std::unique_ptr<EventMonitors> m_eventMonitors;
    std::unique_ptr<GlobalShortcut> m_globalShortcut;
    std::unique_ptr<Application> m_application;
};

} // namespace tarno
