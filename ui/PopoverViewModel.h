#pragma once

#include "capture/SystemScreenshotPreferences.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Runtime.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>
#include <optional>

namespace tarno {

class ClipboardHistoryViewModel;
class ClipListModel;
class GleanerySettings;
class KeyboardNavigation;
class ImageCodec;
class LoginItem;
class Pasteboard;
class ProcessRunner;
class ShortcutSetting;

// What the popover's views show and do, over the two stores: the clip rows, the count, the filter
// and the settings both ways, and the view state that outlives a redraw (settings shown, clearing,
// the list's identity, the hovered row, the clock of the relative times). Time and scheduling come
// from the runtime, so the clear-all sequence and the clock run under a manual runtime in tests.
// Main thread only. Everything given must outlive this object.
class PopoverViewModel : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("ui/ShortcutSetting.h")
    QML_ELEMENT
    QML_UNCREATABLE("Made by the popover")
    Q_PROPERTY(tarno::ClipListModel *clips READ clips CONSTANT)
    Q_PROPERTY(tarno::KeyboardNavigation *keys READ keys CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool hasClips READ hasClips NOTIFY hasClipsChanged)
    Q_PROPERTY(QString filter READ filter WRITE setFilter NOTIFY filterChanged)
    Q_PROPERTY(bool showsSettings READ showsSettings NOTIFY showsSettingsChanged)
    Q_PROPERTY(bool settingsLeftOnClose READ settingsLeftOnClose NOTIFY showsSettingsChanged)
    Q_PROPERTY(bool isClearingList READ isClearingList NOTIFY isClearingListChanged)
    Q_PROPERTY(QString listAnimationId READ listAnimationId NOTIFY listAnimationIdChanged)
    Q_PROPERTY(QString hoveredItemId READ hoveredItemId NOTIFY hoveredItemIdChanged)
    Q_PROPERTY(bool isCapturingPaused READ isCapturingPaused NOTIFY isCapturingPausedChanged)
    Q_PROPERTY(
        QString retentionPolicy READ retentionPolicy WRITE setRetentionPolicy NOTIFY retentionPolicyChanged)
    Q_PROPERTY(bool screenshotsUseClipboard READ screenshotsUseClipboard WRITE setScreenshotsUseClipboard
                   NOTIFY screenshotsUseClipboardChanged)
    Q_PROPERTY(
        bool screenshotTargetApplied READ screenshotTargetApplied NOTIFY screenshotTargetAppliedChanged)
    Q_PROPERTY(QString screenshotStatusText READ screenshotStatusText NOTIFY screenshotTargetAppliedChanged)
    Q_PROPERTY(QString clipboardNotice READ clipboardNotice CONSTANT)
    Q_PROPERTY(
        QString screenshotSwitchDetail READ screenshotSwitchDetail NOTIFY screenshotTargetAppliedChanged)
    Q_PROPERTY(bool canStartAtLogin READ canStartAtLogin CONSTANT)
    Q_PROPERTY(bool startsAtLogin READ startsAtLogin WRITE setStartsAtLogin NOTIFY startsAtLoginChanged)
    Q_PROPERTY(QString startAtLoginStatus READ startAtLoginStatus NOTIFY startAtLoginStatusChanged)
    Q_PROPERTY(tarno::ShortcutSetting *shortcut READ shortcut CONSTANT)
    Q_PROPERTY(QDateTime now READ now NOTIFY nowChanged)
    Q_PROPERTY(bool clockRunning READ clockRunning WRITE setClockRunning NOTIFY clockRunningChanged)

public:
    static constexpr Milliseconds clearFadeOut{280};
    static constexpr Milliseconds clearSettle{360};
    static constexpr Milliseconds clockTick{1000};
    static inline const QString willCloseNotification = QStringLiteral("gleaneryPopoverWillClose");
    static inline const QString capturingPausedNotification =
        QStringLiteral("gleaneryCapturingPausedChanged");
    // Posted on the default centre when a key asks to close the popover (Enter, after its copy).
    static inline const QString closeRequestNotification = QStringLiteral("gleaneryPopoverCloseRequested");
    // Observed on the default centre: the shell is opening the popover from the keyboard (a shortcut
    // or the command line).
    static inline const QString keyboardSessionNotification =
        QStringLiteral("gleaneryPopoverKeyboardSession");

    struct Services
    {
        Runtime &runtime;
        const ImageCodec &codec;
        Pasteboard &generalPasteboard;
        ProcessRunner &processRunner;
        // Whether Tarno starts at login; none where the session has no autostart folder to offer.
        LoginItem *loginItem = nullptr;
        bool isClipboardAccessLimited = false;
        // The global shortcut's row; none where the popover is shown without the shell.
        ShortcutSetting *shortcut = nullptr;
    };

    // `isCapturingPaused` tells whether the user has paused capturing (unset: never); it is asked
    // again whenever the default centre posts `capturingPausedNotification`. The screenshot tools
    // are looked for in the environment given, by default the current user's.
    PopoverViewModel(ClipboardHistoryViewModel &history, GleanerySettings &settings, Services services,
                     std::function<bool()> isCapturingPaused = {}, QObject *parent = nullptr,
                     std::optional<ScreenshotEnvironment> environment = std::nullopt);
    ~PopoverViewModel() override;

    ClipListModel *clips() const { return m_clips; }
    KeyboardNavigation *keys() const { return m_keys; }
    // For a popover opened from the keyboard (a global shortcut; also on
    // `keyboardSessionNotification`): the newest clip selected and the focus shown on the list, so
    // that Down and Enter copy the clip before it.
    void beginKeyboardSession();
    int count() const { return m_count; }
    bool hasClips() const { return m_hasClips; }
    QString filter() const;
    void setFilter(const QString &filter);

    bool showsSettings() const { return m_showsSettings; }
    // Whether the last switch back to the clip list came from the popover closing, which animates
    // with its own spring.
    bool settingsLeftOnClose() const { return m_settingsLeftOnClose; }
    bool isClearingList() const { return m_isClearingList; }
    QString listAnimationId() const { return m_listAnimationId; }
    QString hoveredItemId() const { return m_hoveredItemId; }
    bool isCapturingPaused() const { return m_isCapturingPaused && m_isCapturingPaused(); }

    QString retentionPolicy() const;
    void setRetentionPolicy(const QString &policy);
    bool screenshotsUseClipboard() const;
    void setScreenshotsUseClipboard(bool useClipboard);
    // Whether new screenshots reach the clipboard: every installed tool that has a setting for it is
    // set (or none is installed, and Tarno's own copy of each new file is all there is). Asked
    // afresh whenever the switch changes or the settings panel is shown, with the two texts below.
    bool screenshotTargetApplied() const { return m_screenshotTargetApplied; }
    // The status line under the switch: which tools were set, that none is installed, or what failed.
    QString screenshotStatusText() const { return m_screenshotStatusText; }
    // What the settings say about the desktop's clipboard; empty when nothing is amiss.
    QString clipboardNotice() const
    {
        return m_services.isClipboardAccessLimited
                   ? QStringLiteral("Clipboard access is limited on this desktop")
                   : QString();
    }
    // The line under the switch's title: which tools the switch configures here.
    QString screenshotSwitchDetail() const { return m_screenshotSwitchDetail; }

    bool canStartAtLogin() const { return m_services.loginItem; }
    // Read from disk again each time the settings panel is shown.
    bool startsAtLogin() const;
    void setStartsAtLogin(bool starts);
    // Why the last change of the login item failed, one line; empty when it took.
    QString startAtLoginStatus() const;
    ShortcutSetting *shortcut() const { return m_services.shortcut; }

    // The time relative ages are measured against; moves once a second while the clock runs.
    QDateTime now() const { return m_now; }
    bool clockRunning() const { return m_clockTimer.isValid(); }
    // The views run the clock only while the popover's window is shown.
    void setClockRunning(bool running);

    Q_INVOKABLE void toggleSettings();
    Q_INVOKABLE void rowEntered(const QString &clipId);
    Q_INVOKABLE void rowExited(const QString &clipId);
    // Pauses the clipboard monitor, then writes the clip to the general pasteboard.
    Q_INVOKABLE void copy(const QString &clipId);
    // Drags the clip out of the popover from `source`; returns when the drag ends.
    Q_INVOKABLE void startDrag(const QString &clipId, QObject *source);
    // Where a dragged image clip's picture under the pointer comes from: a thumbnail already made,
    // as decoding the clip would hold up the start of the drag.
    void setDragThumbnails(std::function<QImage(const QUuid &)> thumbnails)
    {
        m_dragThumbnails = std::move(thumbnails);
    }
    // Fades the list out, empties the store 0.28 s later, renews the list's identity 0.36 s after
    // that and fades back in. Ignored with no clips or while a sequence runs.
    Q_INVOKABLE void clearAll();
    Q_INVOKABLE QString relativeAge(const QDateTime &date, const QDateTime &now) const;

Q_SIGNALS:
    void countChanged();
    void hasClipsChanged();
    void filterChanged();
    void showsSettingsChanged();
    void isClearingListChanged();
    void listAnimationIdChanged();
    void hoveredItemIdChanged();
    void isCapturingPausedChanged();
    void retentionPolicyChanged();
    void screenshotsUseClipboardChanged();
    void screenshotTargetAppliedChanged();
    void startsAtLoginChanged();
    void startAtLoginStatusChanged();
    void nowChanged();
    void clockRunningChanged();

private:
    void setShowsSettings(bool shows, bool onClose);
    void setClearingList(bool clearing);
    void setHoveredItemId(const QString &clipId);
    void refreshCounts();
    void refreshScreenshotTarget();
    template <typename Body> Task guarded(Body body);

    ClipboardHistoryViewModel &m_history;
    GleanerySettings &m_settings;
    Services m_services;
    std::function<bool()> m_isCapturingPaused;
    std::function<QImage(const QUuid &)> m_dragThumbnails;
    std::unique_ptr<SystemScreenshotPreferences> m_preferences;
    ClipListModel *m_clips = nullptr;
    KeyboardNavigation *m_keys = nullptr;

    int m_count = 0;
    bool m_hasClips = false;
    bool m_showsSettings = false;
    bool m_settingsLeftOnClose = false;
    bool m_isClearingList = false;
    QString m_listAnimationId;
    QString m_hoveredItemId;
    bool m_screenshotTargetApplied = false;
    QString m_screenshotStatusText;
    QString m_screenshotSwitchDetail;
    QDateTime m_now;
    WorkItem m_clockTimer;
    NotificationCenter::Token m_closeObserver = 0;
    NotificationCenter::Token m_pauseObserver = 0;
    NotificationCenter::Token m_keyboardObserver = 0;
    std::shared_ptr<PopoverViewModel *> m_self;
};

// The compact relative age of a clip: "12 sec", "5 min", "3 hr", "1 day", "4 days". A date in the
// future reads as "0 sec".
QString relativeAgeText(const QDateTime &date, const QDateTime &now);

} // namespace tarno
