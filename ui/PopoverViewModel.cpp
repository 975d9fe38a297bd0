#include "ui/PopoverViewModel.h"

#include "capture/ClipboardMonitor.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipExport.h"
#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "model/HistoryCleanupService.h"
#include "model/LoginItem.h"
#include "ui/ClipDrag.h"
#include "ui/ClipListModel.h"
#include "ui/KeyboardNavigation.h"

#include <QQuickItem>
#include <QUuid>

namespace tarno {

QString relativeAgeText(const QDateTime &date, const QDateTime &now)
{
    const qint64 seconds = std::max<qint64>(0, date.secsTo(now));
    if (seconds < 60)
        return QStringLiteral("%1 sec").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 86'400)
        return QStringLiteral("%1 hr").arg(seconds / 3600);
    const qint64 days = seconds / 86'400;
    return days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(days);
}

template <typename Body> Task PopoverViewModel::guarded(Body body)
{
    return [weak = std::weak_ptr<PopoverViewModel *>(m_self), body]() {
        if (const auto self = weak.lock())
            body(**self);
    };
}

PopoverViewModel::PopoverViewModel(ClipboardHistoryViewModel &history, GleanerySettings &settings,
                                   Services services, std::function<bool()> isCapturingPaused,
                                   QObject *parent, std::optional<ScreenshotEnvironment> environment)
    : QObject(parent), m_history(history), m_settings(settings), m_services(services),
      m_isCapturingPaused(std::move(isCapturingPaused)),
      m_preferences(std::make_unique<SystemScreenshotPreferences>(
          services.processRunner, environment ? std::move(*environment) : ScreenshotEnvironment::current())),
      m_clips(new ClipListModel(history, services.codec, this)),
      m_listAnimationId(QUuid::createUuid().toString(QUuid::WithoutBraces)), m_now(services.runtime.now()),
      m_self(std::make_shared<PopoverViewModel *>(this))
{
    m_keys =
        new KeyboardNavigation(history, *m_clips,
                               {[this](const QString &clipId) { copy(clipId); },
                                [] { NotificationCenter::defaultCenter().post(closeRequestNotification); },
                                [this] { toggleSettings(); }, [this] { return m_showsSettings; }},
                               this);
    refreshCounts();
    connect(&m_history, &ClipboardHistoryViewModel::itemsChanged, this, &PopoverViewModel::refreshCounts);
    connect(&m_history, &ClipboardHistoryViewModel::searchTextChanged, this,
            &PopoverViewModel::refreshCounts);
    connect(&m_history, &ClipboardHistoryViewModel::filterChanged, this, [this] {
        refreshCounts();
        Q_EMIT filterChanged();
    });
    connect(&m_settings, &GleanerySettings::retentionPolicyChanged, this, [this] {
        Q_EMIT retentionPolicyChanged();
        HistoryCleanupService::shared().applyRetention(m_history, m_settings);
    });
    connect(&m_settings, &GleanerySettings::screenshotsUseClipboardChanged, this, [this] {
        Q_EMIT screenshotsUseClipboardChanged();
        refreshScreenshotTarget();
    });
    refreshScreenshotTarget();
    if (LoginItem *loginItem = m_services.loginItem) {
        connect(loginItem, &LoginItem::enabledChanged, this, &PopoverViewModel::startsAtLoginChanged);
        connect(loginItem, &LoginItem::statusChanged, this, &PopoverViewModel::startAtLoginStatusChanged);
    }
    m_closeObserver = NotificationCenter::defaultCenter().addObserver(
        willCloseNotification, guarded([](PopoverViewModel &self) { self.setShowsSettings(false, true); }));
    // Posted only when the pause really changes.
    m_pauseObserver = NotificationCenter::defaultCenter().addObserver(
        capturingPausedNotification,
        guarded([](PopoverViewModel &self) { Q_EMIT self.isCapturingPausedChanged(); }));
    m_keyboardObserver = NotificationCenter::defaultCenter().addObserver(
        keyboardSessionNotification, guarded([](PopoverViewModel &self) { self.beginKeyboardSession(); }));
}

PopoverViewModel::~PopoverViewModel()
{
    NotificationCenter::defaultCenter().removeObserver(m_closeObserver);
    NotificationCenter::defaultCenter().removeObserver(m_pauseObserver);
    NotificationCenter::defaultCenter().removeObserver(m_keyboardObserver);
    m_clockTimer.cancel();
}

void PopoverViewModel::refreshCounts()
{
    const int count = int(m_history.filteredItems().size());
    if (count != m_count) {
        m_count = count;
        Q_EMIT countChanged();
    }
    const bool hasClips = !m_history.items().isEmpty();
    if (hasClips != m_hasClips) {
        m_hasClips = hasClips;
        Q_EMIT hasClipsChanged();
    }
}

QString PopoverViewModel::filter() const
{
    return rawValue(m_history.filter());
}

void PopoverViewModel::setFilter(const QString &filter)
{
    // The store notifies only on a real change; the view model follows it through filterChanged.
    if (const auto value = clipboardFilterFromRawValue(filter))
        m_history.setFilter(*value);
}

QString PopoverViewModel::retentionPolicy() const
{
    return rawValue(m_settings.retentionPolicy());
}

void PopoverViewModel::setRetentionPolicy(const QString &policy)
{
    if (const auto value = historyRetentionPolicyFromRawValue(policy))
        m_settings.setRetentionPolicy(*value);
}

bool PopoverViewModel::screenshotsUseClipboard() const
{
    return m_settings.screenshotsUseClipboard();
}

void PopoverViewModel::setScreenshotsUseClipboard(bool useClipboard)
{
    m_settings.setScreenshotsUseClipboard(useClipboard);
    // The store tells of the change before it configures the tools; what they hold is known only now.
    if (useClipboard)
        refreshScreenshotTarget();
}

void PopoverViewModel::refreshScreenshotTarget()
{
    bool applied = false;
    QString status;
    const QStringList configurable = m_preferences->configurableTools();
    if (m_settings.screenshotsUseClipboard()) {
        const ScreenshotClipboardStatus found = m_preferences->clipboardScreenshotStatus();
        applied = found.applied();
        if (!applied)
            status = found.problem;
        else if (found.configuredTools.isEmpty())
            status = QStringLiteral("No tool to configure — Tarno copies new screenshots");
        else
            status =
                QStringLiteral("Print will copy to clipboard — set in ") + found.configuredTools.join(u", ");
    }
    const QString detail =
        configurable.isEmpty()
            ? QStringLiteral("No Control key needed — Tarno copies new screenshots")
            : QStringLiteral("No Control key needed — Tarno configures ") + configurable.join(u", ");
    if (applied != m_screenshotTargetApplied || status != m_screenshotStatusText ||
        detail != m_screenshotSwitchDetail) {
        m_screenshotTargetApplied = applied;
        m_screenshotStatusText = status;
        m_screenshotSwitchDetail = detail;
        Q_EMIT screenshotTargetAppliedChanged();
    }
}

void PopoverViewModel::setShowsSettings(bool shows, bool onClose)
{
    if (shows == m_showsSettings)
        return;
    m_showsSettings = shows;
    m_settingsLeftOnClose = onClose;
    if (shows) {
        refreshScreenshotTarget();
        if (m_services.loginItem)
            m_services.loginItem->refresh();
    }
    Q_EMIT showsSettingsChanged();
}

bool PopoverViewModel::startsAtLogin() const
{
    return m_services.loginItem && m_services.loginItem->isEnabled();
}

void PopoverViewModel::setStartsAtLogin(bool starts)
{
    if (m_services.loginItem)
        m_services.loginItem->setEnabled(starts);
}

QString PopoverViewModel::startAtLoginStatus() const
{
    return m_services.loginItem ? m_services.loginItem->status() : QString();
}

void PopoverViewModel::beginKeyboardSession()
{
    // The keys act on the list.
    setShowsSettings(false, false);
    m_keys->begin();
}

void PopoverViewModel::toggleSettings()
{
    setShowsSettings(!m_showsSettings, false);
}

void PopoverViewModel::setHoveredItemId(const QString &clipId)
{
    if (clipId == m_hoveredItemId)
        return;
    m_hoveredItemId = clipId;
    Q_EMIT hoveredItemIdChanged();
}

void PopoverViewModel::rowEntered(const QString &clipId)
{
    setHoveredItemId(clipId);
}

void PopoverViewModel::rowExited(const QString &clipId)
{
    // Another row may have been entered before this one reported its exit; that row keeps the hover.
    if (m_hoveredItemId == clipId)
        setHoveredItemId({});
}

void PopoverViewModel::copy(const QString &clipId)
{
    const std::optional<ClipboardItem> item = m_clips->clip(clipId);
    if (!item)
        return;
    ClipboardMonitor::shared().pauseBriefly();
    copyToPasteboard(*item, m_services.generalPasteboard, m_services.codec);
}

void PopoverViewModel::startDrag(const QString &clipId, QObject *source)
{
    const std::optional<ClipboardItem> item = m_clips->clip(clipId);
    auto *sourceItem = qobject_cast<QQuickItem *>(source);
    if (item && sourceItem)
        startClipDrag(*item, sourceItem, m_dragThumbnails ? m_dragThumbnails(item->id) : QImage());
}

void PopoverViewModel::setClearingList(bool clearing)
{
    if (clearing == m_isClearingList)
        return;
    m_isClearingList = clearing;
    Q_EMIT isClearingListChanged();
}

void PopoverViewModel::clearAll()
{
    if (m_history.items().isEmpty() || m_isClearingList)
        return;
    setClearingList(true);
    m_services.runtime.mainQueue().asyncAfter(
        clearFadeOut, guarded([](PopoverViewModel &self) {
            self.m_history.clear();
            self.m_services.runtime.mainQueue().asyncAfter(
                clearSettle, self.guarded([](PopoverViewModel &self) {
                    // A new identity makes the list come back whole instead of animating each removal.
                    self.m_listAnimationId = QUuid::createUuid().toString(QUuid::WithoutBraces);
                    Q_EMIT self.listAnimationIdChanged();
                    self.setClearingList(false);
                }));
        }));
}

void PopoverViewModel::setClockRunning(bool running)
{
    if (running == clockRunning())
        return;
    if (running) {
        m_now = m_services.runtime.now();
        Q_EMIT nowChanged();
        m_clockTimer = m_services.runtime.repeating(clockTick, guarded([](PopoverViewModel &self) {
                                                        self.m_now = self.m_services.runtime.now();
                                                        Q_EMIT self.nowChanged();
                                                    }));
    } else {
        m_clockTimer.cancel();
        m_clockTimer = {};
    }
    Q_EMIT clockRunningChanged();
}

QString PopoverViewModel::relativeAge(const QDateTime &date, const QDateTime &now) const
{
    return relativeAgeText(date, now);
}

} // namespace tarno
