#pragma once

#include "platform/api/GlobalShortcut.h"

#include <QList>

namespace tarno {

// A shortcut that exists only here: `taken` holds what the program asked for last, `press` plays
// the user, and `heldElsewhere` or `isSupported` play the desktop.
class FakeGlobalShortcut : public GlobalShortcut
{
public:
    Result setKeyCombination(std::optional<QKeyCombination> combination) override
    {
        requests << combination;
        if (onRequest)
            onRequest();
        taken.reset();
        if (!isSupported)
            return Result::unsupported;
        if (!combination)
            return Result::ok;
        if (heldElsewhere && *heldElsewhere == *combination)
            return Result::inUse;
        taken = combination;
        return Result::ok;
    }
    void setActivatedHandler(Handler handler) override { m_handler = std::move(handler); }

    // The user presses and releases the combination: only one that is held reaches the handler.
    void press(QKeyCombination combination)
    {
        if (taken == combination && m_handler)
            m_handler();
    }

    std::optional<QKeyCombination> taken;
    QList<std::optional<QKeyCombination>> requests;
    std::optional<QKeyCombination> heldElsewhere;
    bool isSupported = true;
    // Runs at each request, before it is answered.
    std::function<void()> onRequest;

private:
    Handler m_handler;
};

} // namespace tarno
