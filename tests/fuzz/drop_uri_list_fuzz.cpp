// A drag's "text/uri-list" as a drop reads it, next to the "x-special/gnome-copied-files" list and
// the plain text that file managers add. The input is a mode byte, then long fields: the URI list,
// the copied-files list and the plain text; then short fields: the plain text's format name and a
// spelling of the URI list's (empty: the usual one).
//
// Mode bit 0 offers the copied-files list, bit 1 the plain text, bit 2 the URI list. Checked: every
// file a drop turns into a provider is one local file that the URI list names, in list order; a
// drag offering only the copied-files list is no drop.

#include "FuzzInput.h"

#include "platform/qt/MimeDataPasteboard.h"
#include "ui/DropCascade.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>

using namespace tarno;
using fuzz::check;

namespace {

// The paths of the list's lines that are plainly a local file URI: no percent sign, no dot
// segment, nothing but path characters; a parser must take every one of them. Extra leading slashes
// name the same path. (Each repetition starts with a slash, so matching never backtracks.)
QStringList plainFilePaths(const QByteArray &uriList)
{
    static const QRegularExpression plain(QStringLiteral("^file://(?:localhost)?((?:/[A-Za-z0-9_-]*)+)$"));
    QStringList paths;
    for (const QByteArray &line : uriList.split('\n')) {
        const QRegularExpressionMatch match = plain.match(QString::fromLatin1(line.trimmed()));
        if (!match.hasMatch())
            continue;
        QString path = match.captured(1);
        while (path.startsWith(u"//"))
            path.remove(0, 1);
        paths.append(path);
    }
    return paths;
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
    const QByteArray uriList = input.longField();
    const QByteArray copiedFiles = input.longField();
    const QByteArray text = input.longField();
    const QString textFormat = QString::fromUtf8(input.shortField());
    QString uriListFormat = QString::fromUtf8(input.shortField());
    if (uriListFormat.isEmpty())
        uriListFormat = PasteboardType::uriList;

    fuzz::RawMimeData mimeData;
    if (mode & 1)
        mimeData.set(QStringLiteral("x-special/gnome-copied-files"), copiedFiles);
    if ((mode & 2) && !textFormat.isEmpty())
        mimeData.set(textFormat, text);
    if (mode & 4)
        mimeData.set(uriListFormat, uriList);

    const bool accepted = isAcceptedDrop(mimeData);
    const DropItemProviders providers = dropItemProviders(mimeData);
    const QList<QUrl> urls = MimeDataPasteboard::borrowing(mimeData).fileURLs();
    if (mimeData.formats() == QStringList{QStringLiteral("x-special/gnome-copied-files")})
        check(!accepted && providers.isEmpty());
    if (!providers.isEmpty())
        check(accepted);

    QList<QUrl> providedFiles;
    for (const DropItemProviderPtr &provider : providers) {
        check(provider != nullptr);
        if (provider->hasItemConformingTo(DropItemType::fileURL)) {
            const DropLoadResult<QUrl> url = loadFileURL(*provider);
            check(std::holds_alternative<QUrl>(url));
            providedFiles.append(std::get<QUrl>(url));
        }
        if (provider->hasItemConformingTo(DropItemType::plainText))
            check(std::holds_alternative<QString>(loadText(*provider)));
        if (provider->hasItemConformingTo(DropItemType::image))
            loadImageData(*provider);
    }
    check(providedFiles == urls);
    for (const QUrl &url : urls) {
        check(url.isLocalFile());
        check(QUrl::fromLocalFile(url.toLocalFile()) == url);
    }
    const auto namesUriList = [](const QString &format) {
        return format.compare(PasteboardType::uriList, Qt::CaseInsensitive) == 0;
    };
    if ((mode & 4) && namesUriList(uriListFormat) && !((mode & 2) && namesUriList(textFormat))) {
        QStringList paths;
        for (const QUrl &url : urls)
            paths.append(url.toLocalFile());
        for (const QString &path : plainFilePaths(uriList))
            check(paths.contains(path));
    }

    if (std::all_of(urls.begin(), urls.end(), fuzz::staysInSandbox)) {
        for (const PasteboardCapture &capture : droppedCaptures(providers))
            check(!capture.isText() || fuzz::isStrictUtf8(capture.textValue().utf8()));
    }
    return 0;
}
