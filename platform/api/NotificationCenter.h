#pragma once

#include <QString>

#include <functional>
#include <map>

namespace tarno {

// The process's default notification centre: named notifications without payload, delivered
// synchronously to every observer on the main thread, in the order they were added.
class NotificationCenter
{
public:
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    Token addObserver(const QString &name, std::function<void()> handler);
    void removeObserver(Token token);
    void post(const QString &name);

private:
    struct Observer
    {
        QString name;
        std::function<void()> handler;
    };
    std::map<Token, Observer> m_observers;
    Token m_nextToken = 1;
};

} // namespace tarno
