#pragma once

#include "model/ClipboardItem.h"

#include <QObject>

#include <functional>

namespace tarno {

class KeyValueStore;

// The user's choices that outlive a run, loaded from the key-value store once at construction and
// written back on every assignment. Main thread only. Each real change is announced by the
// AboutToChange signal before it is stored and the Changed signal after; assigning the current
// value notifies nobody but is still written.
class GleanerySettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tarno::HistoryRetentionPolicy retentionPolicy READ retentionPolicy WRITE setRetentionPolicy
                   NOTIFY retentionPolicyChanged)
    Q_PROPERTY(bool screenshotsUseClipboard READ screenshotsUseClipboard WRITE setScreenshotsUseClipboard
                   NOTIFY screenshotsUseClipboardChanged)
    Q_PROPERTY(
        QString globalShortcut READ globalShortcut WRITE setGlobalShortcut NOTIFY globalShortcutChanged)

public:
    static inline const QString retentionPolicyKey = QStringLiteral("gleanery.retentionPolicy");
    static inline const QString screenshotsUseClipboardKey =
        QStringLiteral("gleanery.screenshotsUseClipboard");
    static inline const QString globalShortcutKey = QStringLiteral("gleanery.globalShortcut");
    static inline const QString defaultGlobalShortcut = QStringLiteral("Meta+V");

    // Switches the system screenshot shortcuts to the clipboard; returns whether that took. Runs
    // synchronously and may block for as long as the system tools take.
    using EnableClipboardScreenshots = std::function<bool()>;

    // Reads the keys (absent or unusable values give keepForever, true and the default shortcut);
    // writes nothing and calls nothing. The store must outlive the settings. An empty operation is never
    // called.
    GleanerySettings(KeyValueStore &store, EnableClipboardScreenshots enableClipboardScreenshots,
                     QObject *parent = nullptr);
    ~GleanerySettings() override;

    HistoryRetentionPolicy retentionPolicy() const { return m_retentionPolicy; }
    void setRetentionPolicy(HistoryRetentionPolicy policy);

    bool screenshotsUseClipboard() const { return m_screenshotsUseClipboard; }
    // After storing and writing, true also runs the enable operation, whose result is ignored: the
    // flag records the user's wish, not whether the system followed it.
    void setScreenshotsUseClipboard(bool useClipboard);

    // The combination that opens and closes the popover from anywhere, in Qt's portable text form
    // ("Meta+V"); empty when the user wants none.
    QString globalShortcut() const { return m_globalShortcut; }
    void setGlobalShortcut(const QString &shortcut);

Q_SIGNALS:
    void retentionPolicyAboutToChange();
    void retentionPolicyChanged();
    void screenshotsUseClipboardAboutToChange();
    void screenshotsUseClipboardChanged();
    void globalShortcutAboutToChange();
    void globalShortcutChanged();

private:
    KeyValueStore &m_store;
    EnableClipboardScreenshots m_enableClipboardScreenshots;
    HistoryRetentionPolicy m_retentionPolicy = HistoryRetentionPolicy::keepForever;
    bool m_screenshotsUseClipboard = true;
    QString m_globalShortcut = defaultGlobalShortcut;
};

} // namespace tarno
