#include "model/LoginItem.h"

#include "TarnoConfig.h"
#include "platform/api/AutostartFolder.h"
#include "platform/api/FileEvents.h"

#include <QFileInfo>
#include <QList>

namespace tarno {

namespace {

// A value of the [Desktop Entry] group, with the format's escapes left as written; the keys
// read here never hold any.
QString desktopEntryValue(const QByteArray &entry, const QByteArray &key)
{
    bool inGroup = false;
    QString value;
    for (const QByteArray &raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || equals < 0 || line.left(equals).trimmed() != key)
            continue;
        value = QString::fromUtf8(line.mid(equals + 1).trimmed());
    }
    return value;
}

// An Exec argument quoted where the desktop entry format asks for it.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString escaped = argument;
    // A literal percent sign is doubled in any case.
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (const QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // Inside a desktop entry's string value a backslash is itself escaped.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

const QString LoginItem::entryFileName = QStringLiteral(TARNO_APP_ID ".desktop");

QByteArray autostartEntry(const QString &program)
{
    QString entry = QStringLiteral("[Desktop Entry]\n"
                                   "Type=Application\n"
                                   "Name=Tarno\n"
                                   "Comment=Keep a history of what you copy\n");
    entry += QStringLiteral("Exec=") + execArgument(program) + QLatin1Char('\n');
    entry += QStringLiteral("Icon=" TARNO_APP_ID "\n"
                            "Terminal=false\n"
                            "StartupNotify=false\n"
                            "X-GNOME-Autostart-enabled=true\n");
    return entry.toUtf8();
}

bool entryStartsAtLogin(const QByteArray &entry)
{
    return desktopEntryValue(entry, "Type") == QStringLiteral("Application") &&
           !desktopEntryValue(entry, "Exec").isEmpty() &&
           desktopEntryValue(entry, "Hidden") != QStringLiteral("true") &&
           desktopEntryValue(entry, "X-GNOME-Autostart-enabled") != QStringLiteral("false");
}

LoginItem::LoginItem(AutostartFolder &folder, FileEvents *events, TaskQueue &mainQueue, QObject *parent)
    : QObject(parent), m_folder(folder)
{
    refresh();
    if (!events)
        return;
    const QString entryPath = folder.path() + QLatin1Char('/') + entryFileName;
    // The stream ends with this object, and no callback runs after that.
    m_watch =
        events->watch({folder.path()}, eventLatency, mainQueue, [this, entryPath](const QStringList &paths) {
            for (const QString &path : paths) {
                if (QFileInfo(path).fileName() == entryFileName || path == entryPath) {
                    refresh();
                    return;
                }
            }
        });
}

LoginItem::~LoginItem()
{
    // Before the state its callback reads.
    m_watch.reset();
}

void LoginItem::refresh()
{
    const std::optional<QByteArray> entry = m_folder.read(entryFileName);
    const bool enabled = entry && entryStartsAtLogin(*entry);
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    Q_EMIT enabledChanged();
}

void LoginItem::setEnabled(bool enabled)
{
    refresh();
    if (enabled == m_enabled)
        return;
    const QString failure = enabled ? m_folder.write(entryFileName, autostartEntry(m_folder.programPath()))
                                    : m_folder.remove(entryFileName);
    if (!failure.isEmpty()) {
        setStatus((enabled ? QStringLiteral("Could not turn on: ") : QStringLiteral("Could not turn off: ")) +
                  failure);
        return;
    }
    setStatus({});
    refresh();
}

void LoginItem::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

} // namespace tarno
