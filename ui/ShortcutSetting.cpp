#include "ui/ShortcutSetting.h"

#include "model/GleanerySettings.h"

#include <QKeySequence>

namespace tarno {

namespace {

std::optional<QKeyCombination> combinationOf(const QString &portable)
{
    const QKeySequence sequence = QKeySequence::fromString(portable, QKeySequence::PortableText);
    if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown)
        return std::nullopt;
    return sequence[0];
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutSetting::ShortcutSetting(GleanerySettings &settings, GlobalShortcut &shortcut, QObject *parent)
    : QObject(parent), m_settings(settings), m_shortcut(shortcut)
{
    // A change made elsewhere; one of the recording's own is told of when the recording ends.
    connect(&m_settings, &GleanerySettings::globalShortcutAboutToChange, this, [this] {
        if (!m_isStoring)
            m_lookBefore = look();
    });
    connect(&m_settings, &GleanerySettings::globalShortcutChanged, this, [this] {
        if (!m_isStoring)
            update(*m_lookBefore);
    });
}

ShortcutSetting::~ShortcutSetting() = default;

QString ShortcutSetting::displayText(const QString &portable)
{
    QStringList keys = portable.split(u'+');
    for (QString &key : keys) {
        if (key == u"Meta")
            key = QStringLiteral("Super");
    }
    return keys.join(u'+');
}

void ShortcutSetting::apply()
{
    const Look before = look();
    m_isApplied = true;
    update(before);
}

void ShortcutSetting::release()
{
    const Look before = look();
    m_isApplied = false;
    m_isRecording = false;
    if (m_held && !m_held->isEmpty())
        m_shortcut.setKeyCombination(std::nullopt);
    m_held.reset();
    if (look() != before)
        Q_EMIT changed();
}

void ShortcutSetting::update(const Look &before)
{
    const QString wanted = m_isRecording ? QString() : m_settings.globalShortcut();
    if (m_isApplied && wanted != m_held) {
        m_held = wanted;
        const GlobalShortcut::Result result = m_shortcut.setKeyCombination(combinationOf(wanted));
        // Letting go for a recording says nothing about taking the combination again.
        if (!(m_isRecording && result == GlobalShortcut::Result::ok))
            m_result = result;
    }
    if (look() != before)
        Q_EMIT changed();
}

ShortcutSetting::Look ShortcutSetting::look() const
{
    return {keyText(), detailText(), m_isRecording, m_result};
}

QString ShortcutSetting::keyText() const
{
    if (!isAvailable())
        return {};
    if (m_isRecording)
        return QStringLiteral("Press keys");
    const QString stored = m_settings.globalShortcut();
    return stored.isEmpty() ? QStringLiteral("None") : displayText(stored);
}

QString ShortcutSetting::detailText() const
{
    if (!isAvailable())
        return QStringLiteral("Bind tarno --toggle to a key in your desktop's shortcut settings");
    if (m_isRecording)
        return QStringLiteral("Press the new combination · Escape cancels · Backspace clears");
    if (m_settings.globalShortcut().isEmpty())
        return QStringLiteral("No shortcut · click to set one");
    if (isInUse())
        return inUseText;
    return QStringLiteral("Opens Tarno from any program · click to change");
}

void ShortcutSetting::startRecording()
{
    if (m_isRecording || !isAvailable())
        return;
    const Look before = look();
    m_isRecording = true;
    update(before);
}

void ShortcutSetting::cancelRecording()
{
    if (m_isRecording)
        finishRecording(std::nullopt);
}

void ShortcutSetting::finishRecording(const std::optional<QString> &stored)
{
    const Look before = look();
    m_isRecording = false;
    if (stored) {
        m_isStoring = true;
        m_settings.setGlobalShortcut(*stored);
        m_isStoring = false;
    }
    update(before);
}

bool ShortcutSetting::recordKey(int key, int modifiers)
{
    if (!m_isRecording)
        return false;
    if (isModifierKey(key))
        return true;
    const auto held = Qt::KeyboardModifiers::fromInt(modifiers) &
                      (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held == Qt::NoModifier && key == Qt::Key_Escape) {
        finishRecording(std::nullopt);
        return true;
    }
    if (held == Qt::NoModifier && key == Qt::Key_Backspace) {
        finishRecording(QString());
        return true;
    }
    // A key without Ctrl, Alt or Super would be taken from every program that wants it typed.
    const bool isFunctionKey = key >= Qt::Key_F1 && key <= Qt::Key_F35;
    if (!(held & ~Qt::KeyboardModifiers(Qt::ShiftModifier)) && !isFunctionKey)
        return true;
    finishRecording(QKeySequence(QKeyCombination(held, Qt::Key(key))).toString(QKeySequence::PortableText));
    return true;
}

} // namespace tarno
