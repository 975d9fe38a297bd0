#include "platform/qt/QtApplication.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarno {

namespace {

int s_signalWriteEnd = -1;

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; a full pipe already carries the news.
    [[maybe_unused]] const ssize_t written = ::write(s_signalWriteEnd, &byte, 1);
}

} // namespace

class QtApplication::Private
{
public:
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
};

QtApplication::QtApplication() : d(std::make_unique<Private>())
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, d->fds) != 0)
        return;
    s_signalWriteEnd = d->fds[0];
    d->notifier = std::make_unique<QSocketNotifier>(d->fds[1], QSocketNotifier::Read);
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, d->notifier.get(), [this] {
        char buffer[16];
        while (::read(d->fds[1], buffer, sizeof buffer) > 0) {
        }
        terminate();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

QtApplication::~QtApplication()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    s_signalWriteEnd = -1;
    d->notifier.reset();
    for (const int fd : d->fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void QtApplication::terminate()
{
    QCoreApplication::quit();
}

} // namespace tarno
