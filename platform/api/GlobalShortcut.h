#pragma once

#include <QKeyCombination>

#include <functional>
#include <optional>

namespace tarno {

// A key combination that reaches this program whichever program has the keyboard focus. Main thread
// only. The handler runs on the main thread, inside the platform's event handling, once for each
// press of the combination, when its key is released: while the key is held the keyboard still
// belongs to the shortcut, and a window opened then would lose the focus again at the release.
class GlobalShortcut
{
public:
    enum class Result
    {
        ok,
        // Another program holds the combination; this one does not get it.
        inUse,
        // The desktop offers no global shortcuts to programs, or the key is not on the keyboard.
        unsupported
    };
    using Handler = std::function<void()>;

    virtual ~GlobalShortcut() = default;

    // Gives up the combination held so far and takes this one (none: no shortcut); once it returns the
    // combination is in place. Whether it took; on a failure nothing is held. Where the desktop has
    // no global shortcuts every request, none included, is unsupported.
    virtual Result setKeyCombination(std::optional<QKeyCombination> combination) = 0;
    virtual void setActivatedHandler(Handler handler) = 0;
};

} // namespace tarno
