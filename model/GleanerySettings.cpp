#include "model/GleanerySettings.h"

#include "platform/api/KeyValueStore.h"

namespace tarno {

GleanerySettings::GleanerySettings(KeyValueStore &store,
                                   EnableClipboardScreenshots enableClipboardScreenshots, QObject *parent)
    : QObject(parent), m_store(store), m_enableClipboardScreenshots(std::move(enableClipboardScreenshots))
{
    if (const std::optional<QString> raw = m_store.stringValue(retentionPolicyKey))
        m_retentionPolicy =
            historyRetentionPolicyFromRawValue(*raw).value_or(HistoryRetentionPolicy::keepForever);
    if (m_store.contains(screenshotsUseClipboardKey))
        m_screenshotsUseClipboard = m_store.boolValue(screenshotsUseClipboardKey);
    if (const std::optional<QString> shortcut = m_store.stringValue(globalShortcutKey))
        m_globalShortcut = *shortcut;
}

GleanerySettings::~GleanerySettings() = default;

void GleanerySettings::setRetentionPolicy(HistoryRetentionPolicy policy)
{
    if (policy != m_retentionPolicy) {
        Q_EMIT retentionPolicyAboutToChange();
        m_retentionPolicy = policy;
        Q_EMIT retentionPolicyChanged();
    }
    m_store.setString(retentionPolicyKey, rawValue(policy));
}

void GleanerySettings::setScreenshotsUseClipboard(bool useClipboard)
{
    if (useClipboard != m_screenshotsUseClipboard) {
        Q_EMIT screenshotsUseClipboardAboutToChange();
        m_screenshotsUseClipboard = useClipboard;
        Q_EMIT screenshotsUseClipboardChanged();
    }
    m_store.setBool(screenshotsUseClipboardKey, useClipboard);
    if (useClipboard && m_enableClipboardScreenshots)
        m_enableClipboardScreenshots();
}

void GleanerySettings::setGlobalShortcut(const QString &shortcut)
{
    if (shortcut != m_globalShortcut) {
        Q_EMIT globalShortcutAboutToChange();
        m_globalShortcut = shortcut;
        Q_EMIT globalShortcutChanged();
    }
    m_store.setString(globalShortcutKey, shortcut);
}

} // namespace tarno
