#include "platform/fake/FakeImageCodec.h"

#include <QByteArrayList>

namespace tarno {

namespace {

struct Parsed
{
    QSize size;
    QByteArray format;
    QByteArray payload;
};

std::optional<Parsed> parse(const QByteArray &data)
{
    static const QByteArray magic("FAKEIMG ");
    if (!data.startsWith(magic))
        return std::nullopt;
    const qsizetype end = data.indexOf(';');
    if (end < 0)
        return std::nullopt;
    const QByteArrayList fields = data.mid(magic.size(), end - magic.size()).split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    const QByteArrayList dims = fields[0].split('x');
    bool okW = false;
    bool okH = false;
    if (dims.size() != 2)
        return std::nullopt;
    const int w = dims[0].toInt(&okW);
    const int h = dims[1].toInt(&okH);
    if (!okW || !okH)
        return std::nullopt;
    return Parsed{QSize(w, h), fields[1], data.mid(end + 1)};
}

class FakeImage : public DecodedImage
{
public:
    FakeImage(Parsed parsed, const FakeImageCodec &codec) : m_parsed(std::move(parsed)), m_codec(codec) {}
    QSize size() const override { return m_parsed.size; }
    std::optional<QByteArray> tiffRepresentation() const override
    {
        if (m_codec.failTiff)
            return std::nullopt;
        return FakeImageCodec::makeImage(m_parsed.size, "tiff", m_parsed.payload);
    }
    const Parsed &parsed() const { return m_parsed; }

private:
    Parsed m_parsed;
    const FakeImageCodec &m_codec;
};

} // namespace

QByteArray FakeImageCodec::makeImage(QSize size, const QByteArray &format, const QByteArray &payload)
{
    return "FAKEIMG " + QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height()) + ' ' +
           format + ';' + payload;
}

DecodedImagePtr FakeImageCodec::imageFromData(const QByteArray &data) const
{
    ++decodes;
    if (failImages)
        return nullptr;
    std::optional<Parsed> parsed = parse(data);
    return parsed ? std::make_shared<FakeImage>(*parsed, *this) : nullptr;
}

DecodedImagePtr FakeImageCodec::bitmapFromData(const QByteArray &data) const
{
    ++decodes;
    if (failBitmaps)
        return nullptr;
    std::optional<Parsed> parsed = parse(data);
    // Like a vector document, format "vector" is an image object but no bitmap.
    if (!parsed || parsed->format == "vector")
        return nullptr;
    return std::make_shared<FakeImage>(*parsed, *this);
}

std::optional<QByteArray> FakeImageCodec::pngRepresentation(const DecodedImage &image) const
{
    ++pngEncodes;
    if (failPng)
        return std::nullopt;
    const auto *fake = dynamic_cast<const FakeImage *>(&image);
    if (!fake)
        return std::nullopt;
    return makeImage(fake->parsed().size, "png", fake->parsed().payload);
}

std::optional<QSize> FakeImageCodec::sizeFromData(const QByteArray &data) const
{
    std::optional<Parsed> parsed = parse(data);
    if (!parsed)
        return std::nullopt;
    return parsed->size;
}

} // namespace tarno
