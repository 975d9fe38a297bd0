#pragma once

#include "platform/api/EventMonitors.h"

#include <map>

namespace tarno {

// Monitors that exist only as entries here; the test plays the user with the `click…` calls, which
// run the handlers as the platform would, inside its event handling.
class FakeEventMonitors : public EventMonitors
{
public:
    std::optional<Token> addGlobalMouseDownMonitor(Handler handler) override;
    std::optional<Token> addLocalMouseDownMonitor(Handler handler) override;
    void removeMonitor(Token token) override;
    QPointF mouseLocation() const override { return pointer; }

    // Moves the pointer there and sends a mouse-down to another program (global) or to this one
    // (local).
    void clickElsewhere(QPointF at);
    void clickHere(QPointF at);

    int globalCount() const;
    int localCount() const;
    int removedCount = 0;
    int unknownRemovals = 0;

    // Switches: the platform refuses one kind of monitor.
    bool refuseGlobal = false;
    bool refuseLocal = false;

    QPointF pointer;

private:
    struct Monitor
    {
        bool global;
        Handler handler;
    };
    void dispatch(bool global);

    std::map<Token, Monitor> m_monitors;
    Token m_next = 1;
};

} // namespace tarno
