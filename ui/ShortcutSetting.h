#pragma once

#include "platform/api/GlobalShortcut.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tarno {

class GleanerySettings;

// The global shortcut as the settings panel shows and changes it: the combination kept in the
// settings, what became of taking it, and the recording of a new one. From `apply` on it holds the
// stored combination, except while recording, so that the combination being pressed reaches the
// popover; `release` gives it up. Main thread only; the settings and the shortcut must outlive it.
class ShortcutSetting : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the controller")
    Q_PROPERTY(QString keyText READ keyText NOTIFY changed)
    Q_PROPERTY(QString detailText READ detailText NOTIFY changed)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY changed)
    Q_PROPERTY(bool isInUse READ isInUse NOTIFY changed)
    Q_PROPERTY(bool isAvailable READ isAvailable NOTIFY changed)

public:
    static inline const QString inUseText = QStringLiteral("Shortcut in use by another program");

    ShortcutSetting(GleanerySettings &settings, GlobalShortcut &shortcut, QObject *parent = nullptr);
    ~ShortcutSetting() override;

    void apply();
    void release();

    // The combination as the user knows it ("Super+V"), "None", or what to press while recording;
    // empty where the desktop has no global shortcuts.
    QString keyText() const;
    // The line under the row's title: what the shortcut does, why it does not, or how to record.
    QString detailText() const;
    bool isRecording() const { return m_isRecording; }
    bool isInUse() const { return m_result == GlobalShortcut::Result::inUse; }
    bool isAvailable() const { return m_result != GlobalShortcut::Result::unsupported; }

    // Waits for the next combination pressed in the popover. Not where the desktop has none.
    Q_INVOKABLE void startRecording();
    // A key pressed while recording, with Qt's key and modifiers: Escape cancels, Backspace leaves no
    // shortcut, a key with Ctrl, Alt or Super (or a function key) becomes the new one and is stored;
    // modifiers alone and other keys wait for more. Whether the key was taken.
    Q_INVOKABLE bool recordKey(int key, int modifiers);
    // Ends a recording, keeping the combination as it was.
    Q_INVOKABLE void cancelRecording();

    // "Meta+V" as the user knows it: "Super+V".
    static QString displayText(const QString &portable);

Q_SIGNALS:
    // Emitted only when something shown really changes.
    void changed();

private:
    struct Look
    {
        QString keyText;
        QString detailText;
        bool isRecording;
        GlobalShortcut::Result result;
        friend bool operator==(const Look &, const Look &) = default;
    };
    Look look() const;
    // Holds what the settings and the recording call for, asking the platform only on a change, and
    // tells of what that changed since `before`.
    void update(const Look &before);
    void finishRecording(const std::optional<QString> &stored);

    GleanerySettings &m_settings;
    GlobalShortcut &m_shortcut;
    GlobalShortcut::Result m_result = GlobalShortcut::Result::ok;
    bool m_isRecording = false;
    bool m_isApplied = false;
    bool m_isStoring = false;
    // What the platform was last asked to hold, in portable text; none before `apply`.
    std::optional<QString> m_held;
    std::optional<Look> m_lookBefore;
};

} // namespace tarno
