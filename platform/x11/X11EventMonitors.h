#pragma once

#include "platform/api/EventMonitors.h"

#include <memory>

namespace tarno {

// Mouse-down monitors on X11. The local ones are an application-wide event filter on this program's
// windows. The global ones listen to the X input extension's raw button presses on the root window,
// over an X connection of their own: they see every press on the display without grabbing anything,
// so the pointer, drags and the other programs behave as if nobody were watching. Raw presses include
// this program's own. Without the extension no global monitor is installed. Main thread only.
class X11EventMonitors : public EventMonitors
{
public:
    X11EventMonitors();
    ~X11EventMonitors() override;

    std::optional<Token> addGlobalMouseDownMonitor(Handler handler) override;
    std::optional<Token> addLocalMouseDownMonitor(Handler handler) override;
    void removeMonitor(Token token) override;
    QPointF mouseLocation() const override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
