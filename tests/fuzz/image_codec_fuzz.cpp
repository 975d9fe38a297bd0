// The image codec on arbitrary bytes: the header-only size, the full decode, and the conversion to
// PNG that a copied image goes through. The whole input is the image data.
//
// Beyond the sanitizers, the codec's own promises are checked: a decoded image has the size that
// sizeFromData() reports, and the PNG it converts to decodes again to that size.

#include "model/ClipboardItem.h"
#include "platform/qt/QtImageCodec.h"

#include <QByteArray>
#include <QGuiApplication>

using namespace tarno;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QtImageCodec codec;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QSize> declared = codec.sizeFromData(bytes);
    if (declared && (declared->isEmpty() || declared->width() > QtImageCodec::maxImageSide ||
                     declared->height() > QtImageCodec::maxImageSide))
        __builtin_trap();
    const DecodedImagePtr bitmap = codec.bitmapFromData(bytes);
    if (bitmap && (!declared || bitmap->size() != *declared))
        __builtin_trap();
    // Converting is linear in the pixels, and a few bytes of GIF or BMP may declare a picture near
    // the pixel bound, which under the fuzzer's instrumentation takes longer to write than an input
    // may. The writer at the bound is left to the unit tests and the benches.
    constexpr qint64 convertedPixels = qint64(4) << 20;
    if (declared && qint64(declared->width()) * declared->height() > convertedPixels)
        return 0;
    const std::optional<QByteArray> png = pngData(codec, bytes);
    if (png) {
        const std::optional<QSize> pngSize = codec.sizeFromData(*png);
        if (!pngSize || (bitmap && *pngSize != bitmap->size()))
            __builtin_trap();
    }
    return 0;
}
