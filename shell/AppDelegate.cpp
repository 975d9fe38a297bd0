#include "shell/AppDelegate.h"

#include "shell/MenuBarController.h"

namespace tarno {

AppDelegate::AppDelegate(ControllerFactory makeController) : m_makeController(std::move(makeController)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    m_menuBarController.reset();
    m_menuBarController = m_makeController();
    m_menuBarController->setup();
}

void AppDelegate::applicationWillTerminate()
{
    // The controller itself ignores a second teardown, so every way of ending may call this.
    if (m_menuBarController)
        m_menuBarController->teardown();
}

} // namespace tarno
