#include "model/HistoryCleanupService.h"

namespace tarno {

HistoryCleanupService &HistoryCleanupService::shared()
{
    static HistoryCleanupService instance;
    return instance;
}

void HistoryCleanupService::pruneNow() {}

} // namespace tarno
