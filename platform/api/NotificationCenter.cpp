#include "platform/api/NotificationCenter.h"

#include <vector>

namespace tarno {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, std::function<void()> handler)
{
    const Token token = m_nextToken++;
    m_observers.emplace(token, Observer{name, std::move(handler)});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    m_observers.erase(token);
}

void NotificationCenter::post(const QString &name)
{
    // A handler may add or remove observers; those taken now are the ones told, unless removed.
    std::vector<Token> tokens;
    for (const auto &[token, observer] : m_observers) {
        if (observer.name == name)
            tokens.push_back(token);
    }
    for (const Token token : tokens) {
        const auto it = m_observers.find(token);
        if (it == m_observers.end())
            continue;
        const std::function<void()> handler = it->second.handler;
        handler();
    }
}

} // namespace tarno
