#pragma once

#include "ui/PopoverView.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <variant>

class QMimeData;

namespace tarno {

// Turning what is dropped on the popover into captures. A drop arrives as a list of providers, each
// standing for one dragged thing that can be asked for itself as an image, as plain text or as a
// file URL. Unlike the pasteboard reader, text offered as text is kept untrimmed and image data
// offered as image data has no size floor; the 128-byte floor applies only to image files reached
// through a file URL.

// The kinds of item a provider can be asked for.
enum class DropItemType
{
    image,
    plainText,
    fileURL
};

// Why a provider could not hand over an item. Always silent: it only means no capture from it.
struct DropLoadError
{
    enum class Code
    {
        // The provider answered, but not with something of the asked kind.
        cannotDecodeContentData,
        // The provider's own failure.
        failed
    };
    Code code = Code::failed;

    friend bool operator==(const DropLoadError &, const DropLoadError &) = default;
};

// A provider's one answer to a request for data: bytes, an error, both, or neither.
struct DropDataAnswer
{
    std::optional<QByteArray> data;
    std::optional<DropLoadError> error;
};

// A provider's one answer to a request for an item: nothing, an error, a string, bytes or a URL.
using DropItemAnswer = std::variant<std::monostate, DropLoadError, QString, QByteArray, QUrl>;

// One dropped thing. Answers are complete when the drop is delivered, so every call returns at once
// and may be made on the main thread.
class DropItemProvider
{
public:
    virtual ~DropItemProvider() = default;
    // Whether the provider offers an item of this kind.
    virtual bool hasItemConformingTo(DropItemType type) const = 0;
    // The bytes of the item of this kind.
    virtual DropDataAnswer loadDataRepresentation(DropItemType type) const = 0;
    // The item of this kind as an object.
    virtual DropItemAnswer loadItem(DropItemType type) const = 0;
};

using DropItemProviderPtr = std::shared_ptr<const DropItemProvider>;
using DropItemProviders = QList<DropItemProviderPtr>;

template <typename T> using DropLoadResult = std::variant<T, DropLoadError>;

// The image bytes of a provider: its error, its data, or cannotDecodeContentData when it answers
// with neither.
DropLoadResult<QByteArray> loadImageData(const DropItemProvider &provider);
// The plain text of a provider: a string as given, bytes as strict UTF-8, else an error.
DropLoadResult<QString> loadText(const DropItemProvider &provider);
// The file URL of a provider: a URL as given, bytes as the URL they encode, else an error. The URL
// is not checked for being a file URL here.
DropLoadResult<QUrl> loadFileURL(const DropItemProvider &provider);

// What one dropped local file yields: an image file of more than 128 bytes as its bytes, else a
// text file's UTF-8 content trimmed, when anything is left; otherwise nothing. Reads the file.
std::optional<PasteboardCapture> droppedFileCapture(const QUrl &url);

// Each provider in order yields at most one capture: image data, else non-empty text, else the
// file rule for a file URL. Synchronous; reads files on the calling thread.
PasteboardCaptures droppedCaptures(const DropItemProviders &providers);

// Runs the cascade and calls `deliver` once with the captures, in drop order, when there are any;
// a drop that yields nothing calls nothing.
void loadDroppedCaptures(const DropItemProviders &providers, const DropCapturesCallback &deliver);

// An X11 drag carries one set of types, not a list of things. Its own image or text data becomes one
// provider, first, and each local file of its "text/uri-list" one provider more, in list order.
// Plain text that only repeats the dragged files' paths or URIs is no text of its own. Web URIs make
// no provider; a link's text still arrives as the plain text. Everything the providers answer is
// copied out of the data here, so they outlive it; files are read only when the cascade runs.
DropItemProviders dropItemProviders(const QMimeData &data);

// Whether a drag offering these formats is one the popover takes: plain text in any charset, image
// data, or a local file.
bool isAcceptedDrop(const QMimeData &data);

} // namespace tarno
