#pragma once

#include "platform/api/TextLimit.h"

#include <QByteArray>
#include <QString>

namespace tarno {

// The text of a text clip, held as UTF-8: the form it comes from the clipboard in and goes back out
// in, and half the memory of a QString for most text. Always valid UTF-8, at most `maxBytes` long.
class ClipText
{
public:
    // A large log still fits whole; a copy of several hundred megabytes keeps its start, so that
    // fifty of them cannot take the machine's memory.
    static constexpr qsizetype maxBytes = maxClipTextBytes;

    ClipText() = default;
    // Implicit: a QString is the same text in another encoding.
    ClipText(const QString &text);
    // A string literal, which is UTF-8.
    template <qsizetype N> ClipText(const char (&literal)[N]) : ClipText(fromUtf8(QByteArray(literal, N - 1)))
    {}

    // Shares the bytes when they are valid UTF-8 within the bound. Malformed sequences become
    // U+FFFD; past `maxBytes` the text is cut at a character boundary and marked shortened.
    static ClipText fromUtf8(QByteArray utf8);

    const QByteArray &utf8() const { return m_utf8; }
    // The whole text decoded: a copy twice its size for most text, so never for a preview. Every
    // character is kept, a leading U+FEFF too.
    QString toString() const;
    qsizetype byteSize() const { return m_utf8.size(); }
    bool isEmpty() const { return m_utf8.isEmpty(); }
    // Whether only the start of a longer text was kept.
    bool isShortened() const { return m_shortened; }

    // Without leading and trailing white space and line breaks of every Unicode kind; the same
    // bytes, shared, when there is none.
    ClipText trimmed() const;
    // At most `maxLength` UTF-16 units of the text after its leading white space; reads no more of
    // the text than that.
    QString leadingText(qsizetype maxLength) const;

    friend bool operator==(const ClipText &, const ClipText &) = default;

private:
    QByteArray m_utf8;
    bool m_shortened = false;
};

// Whether the texts are the same under Unicode canonical equivalence. Only the stretch where the
// two differ is decoded and normalised.
bool canonicallyEquivalent(const ClipText &a, const ClipText &b);

} // namespace tarno
