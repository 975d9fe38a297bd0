#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarno {

// The names under which clipboard owners offer text, in Qt's order of preference.
enum class TextType
{
    Utf8String,
    String,
    Text,
    PlainUtf8,
    Plain
};

std::optional<TextType> textType(const QString &name);

// One group of offered types that yields at most one format: its candidates are asked in order
// until one answers with data. Candidates are positions in the offered list.
struct TypeGroup
{
    enum Kind
    {
        Text,
        Raw
    };
    Kind kind = Raw;
    QList<qsizetype> candidates;
};

// Which of the types an owner offers are read, and in which order, whatever the protocol that
// carries them: a password manager's mark first, so that a secret is never fetched at all; then
// text and images once each (text in Qt's order, images PNG first), and every other MIME type as it
// is. Names that are not MIME types (TARGETS, PIXMAP, ...) and repeats are left out.
QList<TypeGroup> planReads(const QStringList &offered);

} // namespace tarno
