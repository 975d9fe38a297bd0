#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tarno {

// The running Tarno's door on the session bus, through which a second launch hands over --toggle,
// --show and --quit: the object /org/tarno/Tarno with the methods Toggle, Show and Quit on the
// interface named by the application id, under a name of the display's own. Each method replies at
// once and runs its action on the main loop's next turn, so a Quit is answered before the program
// ends. Main thread only; needs an application object.
class ControlService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarno.Tarno")

public:
    static inline const QString objectPath = QStringLiteral("/org/tarno/Tarno");

    struct Actions
    {
        std::function<void()> toggle;
        std::function<void()> show;
        std::function<void()> quit;
    };

    explicit ControlService(Actions actions, QObject *parent = nullptr);
    ~ControlService() override;

    // Takes the name on the session bus. False when there is no bus or the name is taken; Tarno then
    // runs all the same, out of reach of the command line.
    bool registerOn(const QString &serviceName);

    enum class Delivery
    {
        delivered,
        // Nobody answered under the name within the time given.
        noInstance,
        // No session bus, or the call failed.
        failed
    };
    // Calls `method` ("Toggle", "Show" or "Quit") of the Tarno under the name, waiting up to
    // `waitMs` for it to take the name when it is still starting.
    static Delivery send(const QString &serviceName, const QString &method, int waitMs);

public Q_SLOTS:
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Show();
    Q_SCRIPTABLE void Quit();

private:
    void later(const std::function<void()> &action);

    Actions m_actions;
    QString m_serviceName;
};

} // namespace tarno
