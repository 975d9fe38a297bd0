#pragma once

#include <QQuickAsyncImageProvider>
#include <QSize>
#include <QUuid>

#include <memory>

namespace tarno {

class ClipboardHistoryViewModel;
class ImageCodec;

// Thumbnails of image clips for "image://clips/<id>", id being the clip's id without braces, or for
// "image://clips/<id>/rounded/<radius>" with the corners cut round at that radius (in pixels of the
// requested size), since the popover's renderer cannot mask with a shader. Each
// request is answered at the requested size (fitted inside it, aspect ratio kept, never enlarged;
// a bounded default when no size is asked), so a row holds only its display-size image and never
// the full bitmap.
//
// The clip's bytes are taken from the store on the main thread, decoded and scaled on one worker
// thread of the provider's own, and the result is cached per clip id and requested size until the
// clip leaves the store. An unknown id, a clip without image bytes or bytes that do not decode
// answer an empty image. Requests may come from any thread.
//
// The store and the codec must outlive the provider. Responses may outlive the provider and the
// engine: one whose work was never done, because the provider went first, finishes empty, and so
// does a cancelled one, at once, so that the engine deletes it and lets the provider go with it.
class ClipImageProvider : public QQuickAsyncImageProvider
{
public:
    // The bound used when a request asks for no size: twice the widest row by its tallest thumbnail.
    static constexpr QSize defaultMaximumSize{656, 256};

    ClipImageProvider(ClipboardHistoryViewModel &history, const ImageCodec &codec);
    ~ClipImageProvider() override;

    QQuickImageResponse *requestImageResponse(const QString &id, const QSize &requestedSize) override;

    // How many thumbnails the cache holds. Main thread.
    qsizetype cachedImageCount() const;
    // The largest thumbnail of the clip the cache holds, or a null image. Main thread.
    QImage cachedThumbnail(const QUuid &clipId) const;

    // The size an image of `imageSize` is shown at for a request of `requestedSize`: fitted inside
    // it with the aspect ratio kept (a side of 0 or less leaves that side free), never larger than
    // the image, never empty for a non-empty image.
    static QSize thumbnailSize(QSize imageSize, QSize requestedSize);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace tarno
