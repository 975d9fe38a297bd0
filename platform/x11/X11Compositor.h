#pragma once

#include <QObject>
#include <QSize>

namespace tarno {

// Whether a compositing manager runs on the X screen that Qt's connection shows: one owns the
// _NET_WM_CM_S<screen> selection. The watch follows managers starting and stopping through XFixes
// selection events on Qt's own connection, so reading it never asks the server. Main thread only;
// without an X display it is never active and never changes.
class X11CompositorWatch : public QObject
{
    Q_OBJECT

public:
    // The one watch of the process, made on first use and owned by the application object.
    static X11CompositorWatch &instance();
    ~X11CompositorWatch() override;

    bool isActive() const { return m_active; }

Q_SIGNALS:
    // Emitted only when the answer really changes.
    void activeChanged(bool active);

private:
    explicit X11CompositorWatch(QObject *parent);
    void setActive(bool active);

    class Filter;
    Filter *m_filter = nullptr;
    bool m_active = false;
};

// Cuts the X window `window` to a rounded rectangle of `size` device pixels whose corners have a
// radius of `radius` device pixels, keeping each pixel whose centre lies inside; a radius of 0 or
// less gives the window back its whole rectangle. Does nothing without an X display.
void setRoundedWindowShape(quintptr window, QSize size, qreal radius);

} // namespace tarno
