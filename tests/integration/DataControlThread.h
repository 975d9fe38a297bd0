#pragma once

// Another program's view of the compositor's clipboard, for the Wayland tests and benchmarks: a
// Wayland connection of its own with the data-control protocol, served by a thread of its own.
#include "platform/wayland/DataControl.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace tarno::integration {

class DataControlThread
{
public:
    // Connects to the compositor named by $WAYLAND_DISPLAY; `events` are delivered on the thread
    // once serve() has started it.
    explicit DataControlThread(DataControl::Events &events)
    {
        m_display = wl_display_connect(nullptr);
        if (m_display)
            m_control = DataControl::connect(m_display, &events);
    }
    ~DataControlThread()
    {
        stop();
        for (const int fd : m_wake) {
            if (fd >= 0)
                close(fd);
        }
        m_control.reset();
        if (m_display)
            wl_display_disconnect(m_display);
    }
    DataControlThread(const DataControlThread &) = delete;
    DataControlThread &operator=(const DataControlThread &) = delete;

    // Null when the compositor offers no data-control protocol. Before serve(), for requests made
    // on the caller's thread.
    DataControl *control() const { return m_control.get(); }
    wl_display *display() const { return m_display; }

    bool serve()
    {
        if (!m_control || pipe2(m_wake, O_CLOEXEC) != 0)
            return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }
    bool isServing() const { return m_thread.joinable(); }
    // Ends the thread; an owner whose event handlers touch its own members calls it first thing
    // in its destructor.
    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        (void)!write(m_wake[1], "x", 1);
        m_thread.join();
    }

private:
    void run()
    {
        while (!m_stop) {
            while (wl_display_prepare_read(m_display) != 0)
                wl_display_dispatch_pending(m_display);
            wl_display_flush(m_display);
            pollfd fds[2] = {{wl_display_get_fd(m_display), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (poll(fds, 2, -1) > 0 && (fds[0].revents & POLLIN))
                wl_display_read_events(m_display);
            else
                wl_display_cancel_read(m_display);
            wl_display_dispatch_pending(m_display);
        }
    }

    wl_display *m_display = nullptr;
    std::unique_ptr<DataControl> m_control;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

} // namespace tarno::integration
