#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace tarno {

// What the views need to know about the desktop they are drawn on.
class Desktop : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool compositorActive READ compositorActive CONSTANT)

public:
    explicit Desktop(QObject *parent = nullptr);

    // Whether a compositing manager runs, so translucent windows blend with what lies behind them;
    // read once, when the views are first made.
    bool compositorActive() const { return m_compositorActive; }

private:
    bool m_compositorActive = false;
};

// The same question asked of the display directly: an X11 compositing manager owns the
// _NET_WM_CM_S<screen> selection. False on other platforms and without a display.
bool isCompositorActive();

} // namespace tarno
