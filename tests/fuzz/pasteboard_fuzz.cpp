// The pasteboard reader over arbitrary drag or clipboard data: which type it picks, how it decodes
// text and file lists, and what it captures. The input is a mode byte, then pairs of fields: a
// format name (short field) and its bytes (long field).
//
// Mode bit 0 also offers an image object; bit 1 reads the same entries through the fake pasteboard
// as well, as two items split at the middle entry, with the mime reader's file URLs and strings, so
// that the capture rules meet item lists the Qt adapter never makes.

#include "FuzzInput.h"

#include "capture/PasteboardReader.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/qt/MimeDataPasteboard.h"

#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <memory>

using namespace tarno;

namespace {

void checkCaptures(const PasteboardCaptures &captures)
{
    for (const PasteboardCapture &capture : captures) {
        if (capture.isText() &&
            (capture.textValue().isEmpty() || !fuzz::isStrictUtf8(capture.textValue().utf8())))
            __builtin_trap();
        if (capture.isImage() && capture.imageBytes().size() <= minimumImageBytes)
            __builtin_trap();
    }
}

bool readsOnlySandbox(const QList<QUrl> &urls)
{
    return std::all_of(urls.begin(), urls.end(), fuzz::staysInSandbox);
}

void readFake(const MimeDataPasteboard &mime, const QList<QPair<QString, QByteArray>> &entries)
{
    FakePasteboard fake;
    QList<FakePasteboardItem> items(2);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        // An empty payload stands for a type that is announced but cannot be had.
        const QByteArray &bytes = entries.at(i).second;
        items[i < entries.size() / 2 ? 0 : 1].add(entries.at(i).first,
                                                  bytes.isEmpty() ? std::nullopt : std::optional(bytes));
    }
    fake.setItems(items);
    fake.setFileURLs(mime.fileURLs());
    fake.setStringObjects(mime.stringObjects());
    fake.setImageObjects(mime.imageObjects());
    checkCaptures(readCaptures(fake));
    containsImageType(fake);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const uint8_t mode = input.byte();
    auto mimeData = std::make_shared<fuzz::RawMimeData>();
    QList<QPair<QString, QByteArray>> entries;
    while (!input.atEnd()) {
        const QString format = QString::fromUtf8(input.shortField());
        const QByteArray bytes = input.longField();
        mimeData->set(format, bytes);
        entries.append({format, bytes});
    }
    if (mode & 1) {
        QImage image(2, 2, QImage::Format_ARGB32);
        image.fill(Qt::red);
        mimeData->set(QStringLiteral("application/x-qt-image"), QVariant::fromValue(image));
    }

    const MimeDataPasteboard pasteboard(mimeData);
    const QList<QUrl> urls = pasteboard.fileURLs();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            __builtin_trap();
    }
    // The UTF-8 reading of a type is always valid UTF-8, and the same text as the string reading.
    QStringList types = pasteboard.types();
    types.append({PasteboardType::plainText, QStringLiteral("TEXT/PLAIN;charset=latin1")});
    for (const QString &type : std::as_const(types)) {
        const std::optional<QByteArray> utf8 = pasteboard.utf8StringForType(type);
        const std::optional<QString> text = pasteboard.stringForType(type);
        if (utf8.has_value() != text.has_value() ||
            (utf8 && (!fuzz::isStrictUtf8(*utf8) || *utf8 != text->toUtf8())))
            __builtin_trap();
        pasteboard.dataForType(type);
    }
    for (const PasteboardItemPtr &item : pasteboard.items()) {
        for (const QString &type : item->types()) {
            if (!item->dataForType(type))
                __builtin_trap();
        }
    }
    pasteboard.stringObjects();
    containsImageType(pasteboard);

    if (!readsOnlySandbox(urls))
        return 0;
    checkCaptures(readCaptures(pasteboard));
    if (mode & 2)
        readFake(pasteboard, entries);
    return 0;
}
