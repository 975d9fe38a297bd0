#pragma once

#include "platform/api/Application.h"

#include <memory>

namespace tarno {

// The running Qt application. Termination ends the event loop; so do SIGTERM, SIGINT and SIGHUP
// (received through a self-pipe, so nothing runs inside the signal handler) and the session
// manager's end of the session. Whoever runs the event loop tears down once it returns. Construct
// after the application object, at most once per process.
class QtApplication : public Application
{
public:
    QtApplication();
    ~QtApplication() override;

    void terminate() override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
