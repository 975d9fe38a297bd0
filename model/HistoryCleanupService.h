#pragma once

#include "platform/api/Runtime.h"

#include <QPointer>

#include <memory>

namespace tarno {

class ClipboardHistoryViewModel;
class GleanerySettings;

// Removes the clips the retention policy no longer allows: once at start, every 60 seconds while
// running, and whenever the store asks after an add. It holds the store and the settings weakly and
// never keeps either alive; once one of them is gone, pruning does nothing. Main thread only.
class HistoryCleanupService
{
public:
    static constexpr Milliseconds tickInterval{60'000};

    // The process-wide instance, made on first use; it takes its runtime from the installed
    // platform at each start.
    static HistoryCleanupService &shared();

    // An instance of its own over a given runtime, which must outlive it; for tests.
    explicit HistoryCleanupService(Runtime &runtime);
    ~HistoryCleanupService();
    HistoryCleanupService(const HistoryCleanupService &) = delete;
    HistoryCleanupService &operator=(const HistoryCleanupService &) = delete;

    // Remembers both (replacing earlier ones), prunes at once, and restarts the 60-second period from
    // now. Without a runtime to time it there is no timer, only the immediate prune.
    void start(ClipboardHistoryViewModel &history, GleanerySettings &settings);
    // Stops the timer and forgets both; until the next start, pruning does nothing.
    void stop();
    bool isRunning() const { return m_timer.isValid() && !m_timer.isCancelled(); }

    // Applies the rule to the remembered store with the remembered settings, if both still exist.
    void pruneNow();
    // Applies the rule to the given store with the given settings, whatever start remembered:
    // prunes by the policy's maximum age, and does nothing at all for keepForever.
    void applyRetention(ClipboardHistoryViewModel &history, const GleanerySettings &settings) const;

private:
    HistoryCleanupService();

    Runtime *m_runtime = nullptr; // fixed for own instances; from the platform for the shared one
    WorkItem m_timer;
    QPointer<ClipboardHistoryViewModel> m_history;
    QPointer<GleanerySettings> m_settings;
    // Ticks reach the service only through this, so a tick that outlives the service does nothing.
    std::shared_ptr<HistoryCleanupService *> m_self;
};

} // namespace tarno
