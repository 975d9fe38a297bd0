#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace tarno {

// UTF-8 decoded with every character kept. QString::fromUtf8 reads its input as a stream and drops a
// leading U+FEFF as a byte order mark; in a text already decoded once, or at the start of a stretch
// cut from one, it is a character like any other.
inline QString decodedUtf8(QByteArrayView utf8)
{
    return QStringDecoder(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
        .decode(utf8);
}

} // namespace tarno
