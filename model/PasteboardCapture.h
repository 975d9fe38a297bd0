#pragma once

#include "model/ClipText.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarno {

// What reading a pasteboard or a dropped item yields: text, or image bytes in their original format.
class PasteboardCapture
{
public:
    enum class Kind
    {
        text,
        image
    };

    static PasteboardCapture text(ClipText text)
    {
        return PasteboardCapture(Kind::text, std::move(text), {});
    }
    static PasteboardCapture image(QByteArray bytes)
    {
        return PasteboardCapture(Kind::image, {}, std::move(bytes));
    }

    Kind kind() const { return m_kind; }
    bool isText() const { return m_kind == Kind::text; }
    bool isImage() const { return m_kind == Kind::image; }
    // The text of a text capture; empty for an image capture.
    const ClipText &textValue() const { return m_text; }
    // The bytes of an image capture; empty for a text capture.
    const QByteArray &imageBytes() const { return m_bytes; }

    friend bool operator==(const PasteboardCapture &, const PasteboardCapture &) = default;

private:
    PasteboardCapture(Kind kind, ClipText text, QByteArray bytes)
        : m_kind(kind), m_text(std::move(text)), m_bytes(std::move(bytes))
    {}

    Kind m_kind;
    ClipText m_text;
    QByteArray m_bytes;
};

using PasteboardCaptures = QList<PasteboardCapture>;

// Image bytes count only above this many bytes, whatever their source.
inline constexpr qsizetype minimumImageBytes = 128;

} // namespace tarno
