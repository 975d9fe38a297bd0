#pragma once

#include <functional>
#include <memory>

namespace tarno {

class MenuBarController;

// The program's start and end: makes the one controller when launching has finished and tears it
// down once at termination, whichever way termination comes (the menu, a signal, the end of the
// session). Main thread only.
class AppDelegate
{
public:
    using ControllerFactory = std::function<std::unique_ptr<MenuBarController>()>;

    explicit AppDelegate(ControllerFactory makeController);
    ~AppDelegate();

    // Makes the controller (releasing any earlier one) and sets it up.
    void applicationDidFinishLaunching();
    // Tears the controller down, if there is one; later calls do nothing.
    void applicationWillTerminate();

    MenuBarController *menuBarController() const { return m_menuBarController.get(); }

private:
    ControllerFactory m_makeController;
    std::unique_ptr<MenuBarController> m_menuBarController;
};

} // namespace tarno
