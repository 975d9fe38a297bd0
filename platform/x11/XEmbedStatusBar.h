#pragma once

#include "platform/api/StatusItem.h"

#include <QObject>

namespace tarno {

class Appearance;

// The status area of an XEmbed system tray (the owner of _NET_SYSTEM_TRAY_S<screen>): each item is a
// small window of our own docked into the tray, so hover, clicks and drags all reach its view. The
// item asks for its size; where the tray imposes another, the drawing is scaled to fit, centred, with
// its proportions kept. When the tray goes away the item hides, and it docks again into the next tray
// that announces itself. Main thread; the application must be a QApplication for the tooltip and menu.
class XEmbedStatusBar : public QObject, public StatusBar
{
    Q_OBJECT

public:
    // The SVGs drawn as the view's normal and paused icon; the drawing's colours follow `appearance`,
    // which must outlive this object.
    XEmbedStatusBar(QString iconPath, QString pausedIconPath, Appearance &appearance,
                    QObject *parent = nullptr);
    ~XEmbedStatusBar() override;

    // Whether a tray owns the selection now.
    static bool isTrayAvailable();

    std::unique_ptr<StatusItem> makeStatusItem(StatusItemView &view, QSizeF size) override;

private:
    QString m_iconPath;
    QString m_pausedIconPath;
    Appearance &m_appearance;
};

} // namespace tarno
