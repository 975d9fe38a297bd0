#pragma once

#include <QPointF>

#include <functional>
#include <optional>

namespace tarno {

// Watches left and right mouse-downs without taking them from anyone: never a grab, so drags and
// clicks still reach their targets. Main thread only; handlers run on the main thread, inside the
// platform's event handling, once per mouse-down.
class EventMonitors
{
public:
    using Token = quint64;
    using Handler = std::function<void()>;

    virtual ~EventMonitors() = default;

    // Mouse-downs sent to other programs; nothing when the platform cannot watch them.
    virtual std::optional<Token> addGlobalMouseDownMonitor(Handler handler) = 0;
    // Mouse-downs sent to this program; they are delivered as usual after the handler has run.
    virtual std::optional<Token> addLocalMouseDownMonitor(Handler handler) = 0;
    // Ends the monitor; unknown tokens are ignored.
    virtual void removeMonitor(Token token) = 0;
    // The pointer's position now, in screen coordinates (logical pixels).
    virtual QPointF mouseLocation() const = 0;
};

} // namespace tarno
