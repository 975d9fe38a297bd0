#pragma once

#include <QString>
#include <QStringList>

namespace tarno {

// What the command line asks for, and what a launch then does about it, decided without touching
// the system so that every case can be checked.
struct CommandLine
{
    enum class Action
    {
        // No option: run, or leave the running Tarno in charge.
        run,
        toggle,
        show,
        quit,
        // Print `text` to standard output and end with status 0.
        help,
        version,
        // Print `text` to standard error and end with status 2.
        invalid
    };
    Action action = Action::run;
    QString text;
};

// Parses the arguments, the program's name first, with QCommandLineParser. At most one of
// --toggle, --show and --quit; anything unknown, any positional argument or two of them is invalid.
CommandLine parseCommandLine(const QStringList &arguments);

struct LaunchPlan
{
    enum class Step
    {
        // Start Tarno here; `showWhenPlaced` opens the popover once the status item is in place.
        start,
        // Hand the action to the running Tarno over the session bus and end.
        forward,
        // End at once with `status`, saying `message` (if any) on standard error.
        exit
    };
    Step step = Step::start;
    bool showWhenPlaced = false;
    int status = 0;
    QString message;
};

// The launch for a parsed action, given whether another Tarno already runs on this display. Help,
// version and invalid input are printed before this is asked.
LaunchPlan planLaunch(CommandLine::Action action, bool anotherRunning);

// The name that sets one display's instance apart from another's: the X display number (with its
// host when it is not this machine), else the Wayland socket's name, made of letters, digits and
// underscores only. "x0" for DISPLAY=":0.0", "wayland_1" for WAYLAND_DISPLAY="wayland-1".
QString displayInstanceKey(const QString &x11Display, const QString &waylandDisplay);

// The session bus name of the control service of the Tarno on that display, below the application
// id, as two displays of one session share its bus.
QString controlServiceName(const QString &displayKey);

} // namespace tarno
