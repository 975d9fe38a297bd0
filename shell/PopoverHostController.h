#pragma once

#include "platform/api/Popover.h"

namespace tarno {

// Carries the popover's content and plays its appear and disappear animations on it. The content
// starts invisible, so nothing shows before the first appear. Main thread only; the content view
// belongs to the popover, and the runtime outlives everything.
class PopoverHostController
{
public:
    static constexpr qreal appearStartScale = 0.97;
    static constexpr Milliseconds appearDuration{220};
    static constexpr TimingCurve appearCurve{{0.22, 1.0}, {0.36, 1.0}};
    static constexpr Milliseconds disappearDuration{160};
    // The standard ease-in.
    static constexpr TimingCurve disappearCurve{{0.42, 0.0}, {1.0, 1.0}};
    static constexpr qreal disappearEndScale = 0.98;

    // `view` may be null when the content could not be made; the animations then only keep time.
    PopoverHostController(PopoverContentView *view, Runtime &runtime);
    ~PopoverHostController();
    PopoverHostController(const PopoverHostController &) = delete;
    PopoverHostController &operator=(const PopoverHostController &) = delete;

    PopoverContentView *view() const { return m_view; }

    // From scale 0.97, whatever the last close left, to full opacity and scale.
    void animateIn();
    // To transparent at scale 0.98; then `completion` runs on the main queue's next turn.
    void animateOut(Task completion);

private:
    PopoverContentView *m_view;
    Runtime &m_runtime;
};

} // namespace tarno
