#pragma once

namespace tarno {

// Removes the clips the retention policy no longer allows. One process-wide instance.
// Until it is started with a store and settings, pruning does nothing.
class HistoryCleanupService
{
public:
    static HistoryCleanupService &shared();

    // Applies the retention rule to the remembered store with the remembered settings.
    void pruneNow();

private:
    HistoryCleanupService() = default;
};

} // namespace tarno
