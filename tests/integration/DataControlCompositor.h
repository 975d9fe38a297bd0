#pragma once

// A compositor of the suite's own that does nothing but the clipboard: one seat and the data-control
// managers a test asks for, on a socket in a runtime folder of its own, served by a thread of its
// own in the test's process. It keeps the seat's selection as a compositor does and records what its
// clients bound and every request it had to refuse. No compositor in Debian offers the ext protocol,
// so this is where that path runs.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace tarno::integration {

class DataControlServer;

class DataControlCompositor
{
public:
    DataControlCompositor(bool offersExt, bool offersWlr);
    // Disconnects whatever clients are left: they see the compositor go.
    ~DataControlCompositor();
    DataControlCompositor(const DataControlCompositor &) = delete;
    DataControlCompositor &operator=(const DataControlCompositor &) = delete;

    bool isReady() const { return m_server != nullptr; }
    // Points this process's Wayland clients at it.
    void enter() const;

    // The manager interfaces bound so far, one entry per bind, in order.
    QStringList boundManagers() const;
    // The protocol errors posted so far, as "interface: message".
    QStringList protocolErrors() const;

private:
    QTemporaryDir m_runtimeDir;
    QString m_socketPath;
    std::unique_ptr<DataControlServer> m_server;
};

} // namespace tarno::integration
