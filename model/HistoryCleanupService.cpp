#include "model/HistoryCleanupService.h"

#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "platform/api/Platform.h"

namespace tarno {

HistoryCleanupService &HistoryCleanupService::shared()
{
    static HistoryCleanupService instance;
    return instance;
}

HistoryCleanupService::HistoryCleanupService() : m_self(std::make_shared<HistoryCleanupService *>(this)) {}

HistoryCleanupService::HistoryCleanupService(Runtime &runtime) : HistoryCleanupService()
{
    m_runtime = &runtime;
}

HistoryCleanupService::~HistoryCleanupService()
{
    m_timer.cancel();
}

void HistoryCleanupService::start(ClipboardHistoryViewModel &history, GleanerySettings &settings)
{
    m_history = &history;
    m_settings = &settings;
    pruneNow();
    m_timer.cancel();
    m_timer = {};
    Runtime *runtime = m_runtime ? m_runtime : Platform::current().runtime;
    if (!runtime)
        return;
    m_timer = runtime->repeating(tickInterval, [weak = std::weak_ptr<HistoryCleanupService *>(m_self)] {
        if (const auto self = weak.lock())
            (*self)->pruneNow();
    });
}

void HistoryCleanupService::stop()
{
    m_timer.cancel();
    m_timer = {};
    m_history.clear();
    m_settings.clear();
}

void HistoryCleanupService::pruneNow()
{
    if (m_history && m_settings)
        applyRetention(*m_history, *m_settings);
}

void HistoryCleanupService::applyRetention(ClipboardHistoryViewModel &history,
                                           const GleanerySettings &settings) const
{
    if (const std::optional<double> age = maxAge(settings.retentionPolicy()))
        history.prune(*age);
}

} // namespace tarno
