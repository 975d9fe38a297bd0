#pragma once

#include "platform/api/GlobalShortcut.h"

#include <memory>

namespace tarno {

// A global shortcut on X11: a passive grab of the key with its modifiers on the root window, once for
// each state of Num Lock and Caps Lock, so that neither keeps it from working. It runs on an X
// connection of its own, opened with the first combination, whose events wake the main loop through
// a socket notifier. Each grab is checked with the server before `setKeyCombination` returns, so a
// combination that another program has grabbed is reported in use, and one that is reported taken
// already works. Keyboard mapping changes take the combination again on the new key codes.
class X11GlobalShortcut : public GlobalShortcut
{
public:
    X11GlobalShortcut();
    ~X11GlobalShortcut() override;

    Result setKeyCombination(std::optional<QKeyCombination> combination) override;
    void setActivatedHandler(Handler handler) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
