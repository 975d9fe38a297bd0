#include "platform/fake/FakeEventMonitors.h"

#include <vector>

namespace tarno {

std::optional<EventMonitors::Token> FakeEventMonitors::addGlobalMouseDownMonitor(Handler handler)
{
    if (refuseGlobal)
        return std::nullopt;
    const Token token = m_next++;
    m_monitors.emplace(token, Monitor{true, std::move(handler)});
    return token;
}

std::optional<EventMonitors::Token> FakeEventMonitors::addLocalMouseDownMonitor(Handler handler)
{
    if (refuseLocal)
        return std::nullopt;
    const Token token = m_next++;
    m_monitors.emplace(token, Monitor{false, std::move(handler)});
    return token;
}

void FakeEventMonitors::removeMonitor(Token token)
{
    if (m_monitors.erase(token))
        ++removedCount;
    else
        ++unknownRemovals;
}

void FakeEventMonitors::clickElsewhere(QPointF at)
{
    pointer = at;
    dispatch(true);
}

void FakeEventMonitors::clickHere(QPointF at)
{
    pointer = at;
    dispatch(false);
}

int FakeEventMonitors::globalCount() const
{
    int count = 0;
    for (const auto &[token, monitor] : m_monitors)
        count += monitor.global ? 1 : 0;
    return count;
}

int FakeEventMonitors::localCount() const
{
    return static_cast<int>(m_monitors.size()) - globalCount();
}

void FakeEventMonitors::dispatch(bool global)
{
    std::vector<Handler> handlers;
    for (const auto &[token, monitor] : m_monitors) {
        if (monitor.global == global)
            handlers.push_back(monitor.handler);
    }
    for (const Handler &handler : handlers)
        handler();
}

} // namespace tarno
