#include "capture/ToolConfigFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QtEndian>

namespace tarno {

namespace {

constexpr qint64 maxConfigBytes = 1 << 20;

QList<QByteArray> splitLines(const QByteArray &file)
{
    QList<QByteArray> lines = file.split('\n');
    // A final line break ends the last line; it does not begin another.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// "[Group]" with any KConfig markers after it ("[Group][$i]"), or none for a line that is no header.
std::optional<QByteArray> groupHeader(const QByteArray &trimmed)
{
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype end = trimmed.indexOf(']');
    if (end < 0)
        return std::nullopt;
    return trimmed.mid(1, end - 1);
}

bool isLocked(const QByteArray &trimmedLine)
{
    return trimmedLine.contains("[$i]");
}

// The key of a "key=value" or "key[$e]=value" line, and where its value starts.
std::optional<std::pair<QByteArray, qsizetype>> keyOf(const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
        return std::nullopt;
    return std::pair{line.left(equals).trimmed(), equals + 1};
}

QString unescaped(const QByteArray &raw)
{
    QByteArray value = raw.trimmed();
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    QString text;
    const QString decoded = QString::fromUtf8(value);
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c != u'\\' || i + 1 == decoded.size()) {
            text += c;
            continue;
        }
        const QChar next = decoded.at(++i);
        switch (next.unicode()) {
        case 'n':
            text += u'\n';
            break;
        case 't':
            text += u'\t';
            break;
        case 's':
            text += u' ';
            break;
        case 'x': {
            // QSettings writes \xhhhh for what its codec cannot hold.
            qsizetype digits = 0;
            while (digits < 4 && i + 1 + digits < decoded.size() &&
                   isxdigit(decoded.at(i + 1 + digits).unicode()))
                ++digits;
            text += QChar(char16_t(decoded.mid(i + 1, digits).toUShort(nullptr, 16)));
            i += digits;
            break;
        }
        default:
            text += next;
        }
    }
    return text;
}

} // namespace

std::optional<QByteArray> readSmallFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxConfigBytes)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(maxConfigBytes + 1);
    if (bytes.size() > maxConfigBytes || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool replaceFile(const QString &path, const QByteArray &bytes)
{
    // A settings file kept elsewhere and linked in stays linked: its target is what is replaced.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : path;
    if (target.isEmpty() || !QDir().mkpath(QFileInfo(target).absolutePath()))
        return false;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QString> messageTranslation(const QByteArray &catalogue, const QString &message)
{
    const auto *data = reinterpret_cast<const uchar *>(catalogue.constData());
    const quint64 size = quint64(catalogue.size());
    if (size < 20)
        return std::nullopt;
    const quint32 magic = qFromLittleEndian<quint32>(data);
    bool little = true;
    if (magic == 0xde120495u)
        little = false;
    else if (magic != 0x950412deu)
        return std::nullopt;
    const auto word = [&](quint64 at) -> std::optional<quint32> {
        if (at + 4 > size)
            return std::nullopt;
        return little ? qFromLittleEndian<quint32>(data + at) : qFromBigEndian<quint32>(data + at);
    };
    const auto string = [&](quint64 table, quint32 index) -> std::optional<QByteArrayView> {
        const std::optional<quint32> length = word(table + quint64(index) * 8);
        const std::optional<quint32> offset = word(table + quint64(index) * 8 + 4);
        if (!length || !offset || quint64(*offset) + *length > size)
            return std::nullopt;
        return QByteArrayView(catalogue.constData() + *offset, *length);
    };
    const std::optional<quint32> count = word(8);
    const std::optional<quint32> originals = word(12);
    const std::optional<quint32> translations = word(16);
    if (!count || !originals || !translations)
        return std::nullopt;
    const QByteArray wanted = message.toUtf8();
    for (quint32 i = 0; i < *count; ++i) {
        const std::optional<QByteArrayView> original = string(*originals, i);
        if (!original)
            return std::nullopt;
        if (*original != wanted)
            continue;
        const std::optional<QByteArrayView> translation = string(*translations, i);
        // An empty translation means the message is untranslated; so does one that is not UTF-8.
        if (!translation || translation->isEmpty() || !translation->isValidUtf8())
            return std::nullopt;
        return QString::fromUtf8(*translation);
    }
    return std::nullopt;
}

std::optional<QString> iniValue(const QByteArray &file, const QString &group, const QString &key)
{
    const QByteArray wantedGroup = group.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    QByteArray current;
    std::optional<QString> value;
    for (const QByteArray &line : splitLines(file)) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#') || trimmed.startsWith(';'))
            continue;
        if (const std::optional<QByteArray> header = groupHeader(trimmed)) {
            current = *header;
            continue;
        }
        if (current != wantedGroup)
            continue;
        if (const auto entry = keyOf(trimmed); entry && entry->first == wantedKey)
            value = unescaped(trimmed.mid(entry->second)); // the last one counts, as for both readers
    }
    return value;
}

std::optional<QByteArray> withIniValue(const QByteArray &file, const QString &group, const QString &key,
                                       const QString &value)
{
    const QByteArray wantedGroup = group.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    const QByteArray entry = wantedKey + '=' + value.toUtf8();
    QList<QByteArray> lines = splitLines(file);
    QByteArray current;
    qsizetype lastInGroup = -1;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines.at(i).trimmed();
        if (const std::optional<QByteArray> header = groupHeader(trimmed)) {
            // "[$i]" alone before any group locks the whole file.
            if (*header == "$i" && current.isEmpty())
                return std::nullopt;
            current = *header;
            if (current == wantedGroup) {
                if (isLocked(trimmed))
                    return std::nullopt;
                lastInGroup = i;
            }
            continue;
        }
        if (current != wantedGroup)
            continue;
        if (!trimmed.isEmpty())
            lastInGroup = i;
        const auto found = keyOf(trimmed);
        if (!found)
            continue;
        if (found->first == wantedKey) {
            lines[i] = entry;
            replaced = true;
        } else if (found->first.startsWith(wantedKey + '[')) {
            // A marked variant of the key ("key[$i]") is the user's or the administrator's choice.
            if (isLocked(found->first))
                return std::nullopt;
        }
    }
    if (!replaced) {
        if (lastInGroup >= 0) {
            lines.insert(lastInGroup + 1, entry);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines << QByteArray();
            lines << '[' + wantedGroup + ']' << entry;
        }
    }
    return lines.join('\n') + '\n';
}

std::optional<QString> userDirsValue(const QByteArray &file, const QString &key, const QString &home)
{
    const QByteArray wantedKey = key.toUtf8();
    for (const QByteArray &line : splitLines(file)) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('#'))
            continue;
        const auto entry = keyOf(trimmed);
        if (!entry || entry->first != wantedKey)
            continue;
        const QByteArray quoted = trimmed.mid(entry->second).trimmed();
        if (quoted.size() < 2 || !quoted.startsWith('"') || !quoted.endsWith('"') || !quoted.isValidUtf8())
            return std::nullopt;
        QString path;
        const QString inner = QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner.at(i) == u'\\' && i + 1 < inner.size())
                ++i;
            path += inner.at(i);
        }
        // Only "$HOME" as a whole element is the home folder; "$HOMEWORK/x" is no expansion of it.
        const QString variable = QStringLiteral("$HOME");
        if (path == variable)
            path = home;
        else if (path.startsWith(variable + u'/'))
            path = home + path.mid(variable.size());
        else if (!path.startsWith(u'/'))
            return std::nullopt;
        path = QDir::cleanPath(path);
        return path;
    }
    return std::nullopt;
}

std::optional<QString> gvariantString(const QByteArray &text)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.size() < 2 || !trimmed.isValidUtf8())
        return std::nullopt;
    const char quote = trimmed.front();
    if ((quote != '\'' && quote != '"') || trimmed.back() != quote)
        return std::nullopt;
    const QString inner = QString::fromUtf8(trimmed.mid(1, trimmed.size() - 2));
    QString value;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        QChar c = inner.at(i);
        if (c == QLatin1Char(quote))
            return std::nullopt; // an unescaped quote inside: not one string
        if (c == u'\\') {
            if (++i == inner.size())
                return std::nullopt;
            c = inner.at(i);
            if (c == u'n')
                c = u'\n';
            else if (c == u't')
                c = u'\t';
            else if (c == u'u' && i + 4 < inner.size()) {
                bool ok = false;
                c = QChar(char16_t(inner.mid(i + 1, 4).toUShort(&ok, 16)));
                if (!ok)
                    return std::nullopt;
                i += 4;
            }
        }
        value += c;
    }
    return value;
}

} // namespace tarno
