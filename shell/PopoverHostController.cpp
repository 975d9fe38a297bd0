#include "shell/PopoverHostController.h"

namespace tarno {

PopoverHostController::PopoverHostController(PopoverContentView *view, Runtime &runtime)
    : m_view(view), m_runtime(runtime)
{
    if (m_view)
        m_view->setAlpha(0);
}

PopoverHostController::~PopoverHostController() = default;

void PopoverHostController::animateIn()
{
    if (!m_view)
        return;
    m_view->setScale(appearStartScale);
    m_view->animate(ContentAnimation{appearDuration, appearCurve, 1.0, 1.0}, {});
}

void PopoverHostController::animateOut(Task completion)
{
    Runtime *runtime = &m_runtime;
    auto schedule = [runtime, completion = std::move(completion)] { runtime->mainQueue().async(completion); };
    if (!m_view) {
        schedule();
        return;
    }
    m_view->animate(ContentAnimation{disappearDuration, disappearCurve, 0.0, disappearEndScale},
                    std::move(schedule));
}

} // namespace tarno
