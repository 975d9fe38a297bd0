#pragma once

#include "platform/api/StatusItem.h"

#include <QString>

namespace tarno {

// The status area of a desktop that hosts StatusNotifierItems over D-Bus: the host draws the icon and
// reports clicks, so the view gets left clicks (Activate), right clicks (the context request) and
// shows its tooltip, but no hover and no drags. The icon, tooltip and the menu exported over
// com.canonical.dbusmenu (for hosts that show it themselves rather than ask for it) follow the view's
// on each `setNeedsDisplay`. Needs a QApplication.
class SniStatusBar : public StatusBar
{
public:
    // The SVGs of the view's normal and paused icon.
    SniStatusBar(QString iconPath, QString pausedIconPath);
    ~SniStatusBar() override;

    // Whether a StatusNotifierWatcher is on the session bus.
    static bool isWatcherAvailable();

    std::unique_ptr<StatusItem> makeStatusItem(StatusItemView &view, QSizeF size) override;

private:
    QString m_iconPath;
    QString m_pausedIconPath;
};

} // namespace tarno
