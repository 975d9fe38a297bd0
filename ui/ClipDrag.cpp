#include "ui/ClipDrag.h"

#include "model/ClipExport.h"
#include "platform/api/Pasteboard.h"
#include "platform/qt/QtDecodedImage.h"
#include "platform/qt/QtImageCodec.h"

#include <QDrag>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPixmap>
#include <QQuickItem>
#include <QSaveFile>
#include <QSysInfo>
#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <xcb/xcb.h>

namespace tarno {

namespace {

const QString utf8PlainText = QStringLiteral("text/plain;charset=utf-8");

// Drag data whose typed bytes are produced only when a drop target asks for them; everything else
// is kept by QMimeData itself.
class PayloadMimeData : public QMimeData
{
public:
    // What a drop target gets for the type; for the deferred drag data below.
    QVariant retrieve(const QString &mimeType, QMetaType type) const { return retrieveData(mimeType, type); }

    void addLazy(DragData data)
    {
        if (!m_lazyTypes.contains(data.type)) {
            m_lazyTypes.append(data.type);
            m_lazy.append(std::move(data));
        }
    }

    QStringList formats() const override
    {
        QStringList formats = m_lazyTypes;
        for (const QString &format : QMimeData::formats()) {
            if (!formats.contains(format))
                formats.append(format);
        }
        return formats;
    }

    bool hasFormat(const QString &mimeType) const override
    {
        return m_lazyTypes.contains(mimeType) || QMimeData::hasFormat(mimeType);
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        for (const DragData &data : m_lazy) {
            if (data.type == mimeType)
                return data.load ? data.load() : QByteArray();
        }
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    QStringList m_lazyTypes;
    QList<DragData> m_lazy;
};

// An image clip's drag data, offered at once and made on a worker thread: converting and decoding a
// screenshot takes a good part of a second, and the drag must begin under the pointer now. A target
// that asks before the work is done waits for it; targets ask on drop, long after it finished.
class DeferredImageMimeData : public QMimeData
{
public:
    DeferredImageMimeData(const ClipboardItem &item, const ImageCodec &codec, const QString &tempDir)
        : m_worker([this, item, &codec, tempDir] {
              DragPayload payload = imageDragItemProvider(item, codec, tempDir);
              const std::lock_guard lock(m_mutex);
              m_payload = std::move(payload);
              m_ready.notify_all();
          })
    {}

    // The worker only touches the codec and the file; it ends before they may go away.
    ~DeferredImageMimeData() override { m_worker.join(); }

    QStringList formats() const override
    {
        return {PasteboardType::png, QStringLiteral("application/x-qt-image"),
                QStringLiteral("text/uri-list")};
    }

    bool hasFormat(const QString &mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (!m_data) {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return m_payload.has_value(); });
            m_data.reset(static_cast<PayloadMimeData *>(mimeDataForDragPayload(*m_payload).release()));
        }
        return m_data->retrieve(mimeType, type);
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_ready;
    std::optional<DragPayload> m_payload;
    // Built on the main thread from the payload the first time a target asks.
    mutable std::unique_ptr<PayloadMimeData> m_data;
    std::thread m_worker;
};

xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t *connection, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, false, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// The window a drag of this program is offered from: Qt makes it the owner of the drag selection.
xcb_window_t dragSourceWindow(xcb_connection_t *connection)
{
    const xcb_atom_t selection = internAtom(connection, "XdndSelection");
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    free(reply);
    return owner;
}

// The direct-save convention keeps its state in one property of the drag's source window: the
// suggested name while the drag runs, the target's URI once it is dropped.
void setDirectSaveName(xcb_connection_t *connection, xcb_window_t window, const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window,
                        internAtom(connection, directSaveType.toLatin1()),
                        internAtom(connection, "text/plain"), 8, uint32_t(bytes.size()), bytes.constData());
    xcb_flush(connection);
}

QByteArray directSaveURI(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, false, window, internAtom(connection, directSaveType.toLatin1()),
                         XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    QByteArray uri;
    if (reply && reply->format == 8)
        uri = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                         xcb_get_property_value_length(reply));
    free(reply);
    return uri;
}

void deleteDirectSaveProperty(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_delete_property(connection, window, internAtom(connection, directSaveType.toLatin1()));
    xcb_flush(connection);
}

// A text clip's drag data. On X11 it adds the direct-save type, whose data is produced by writing
// the file the target asks for.
class TextClipMimeData : public QMimeData
{
public:
    // The bytes go out as they are, under both names: never decoded into a QString twice their size.
    explicit TextClipMimeData(const QByteArray &utf8) : m_utf8(utf8), m_directSave(x11Connection() != nullptr)
    {
        setData(PasteboardType::plainText, utf8);
        setData(utf8PlainText, utf8);
    }

    QStringList formats() const override
    {
        QStringList formats = QMimeData::formats();
        if (m_directSave)
            formats.append(directSaveType);
        return formats;
    }

    bool hasFormat(const QString &mimeType) const override
    {
        return (m_directSave && mimeType == directSaveType) || QMimeData::hasFormat(mimeType);
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (!m_directSave || mimeType != directSaveType)
            return QMimeData::retrieveData(mimeType, type);
        xcb_connection_t *connection = x11Connection();
        const xcb_window_t window = connection ? dragSourceWindow(connection) : xcb_window_t(XCB_WINDOW_NONE);
        if (window == XCB_WINDOW_NONE)
            return QByteArray("E");
        const QByteArray answer = saveTextForDirectSave(directSaveURI(connection, window), m_utf8);
        deleteDirectSaveProperty(connection, window);
        return answer;
    }

private:
    QByteArray m_utf8;
    bool m_directSave;
};

// A small picture under the pointer while an image clip is dragged.
QPixmap dragPixmap(const QImage &thumbnail)
{
    if (thumbnail.isNull())
        return {};
    constexpr int side = 128;
    return QPixmap::fromImage(thumbnail.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

std::unique_ptr<QMimeData> mimeDataForDragPayload(const DragPayload &payload)
{
    auto data = std::make_unique<PayloadMimeData>();
    QList<QUrl> files;
    for (const DragRepresentation &representation : payload.representations) {
        if (const DragData *typed = std::get_if<DragData>(&representation)) {
            data->addLazy(*typed);
        } else if (const DecodedImagePtr *image = std::get_if<DecodedImagePtr>(&representation)) {
            if (*image && data->imageData().isNull()) {
                const QImage qimage = QtDecodedImage::toQImage(**image);
                if (!qimage.isNull())
                    data->setImageData(qimage);
            }
        } else if (const QUrl *url = std::get_if<QUrl>(&representation)) {
            files.append(*url);
        }
    }
    if (!files.isEmpty())
        data->setUrls(files);
    return data;
}

std::unique_ptr<QMimeData> textClipMimeData(const ClipboardItem &item)
{
    return std::make_unique<TextClipMimeData>(item.text ? item.text->utf8() : QByteArray());
}

QByteArray saveTextForDirectSave(const QByteArray &uri, const QByteArray &utf8)
{
    const QUrl url = QUrl::fromEncoded(uri.trimmed(), QUrl::StrictMode);
    const QString host = url.host();
    const bool local = host.isEmpty() || host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
                       host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
    if (!url.isValid() || url.scheme() != u"file" || !local)
        return "F";
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(u'/') || path.endsWith(u'/'))
        return "E";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(utf8) != utf8.size() || !file.commit())
        return "E";
    return "S";
}

std::unique_ptr<QMimeData> clipDragMimeData(const ClipboardItem &item, const ImageCodec &codec,
                                            const QString &tempDir)
{
    switch (item.kind) {
    case ClipboardItemKind::text:
        return textClipMimeData(item);
    case ClipboardItemKind::image:
        return std::make_unique<DeferredImageMimeData>(item, codec, tempDir);
    }
    return std::make_unique<QMimeData>();
}

void startClipDrag(const ClipboardItem &item, QQuickItem *source, const QImage &thumbnail)
{
    if (!source)
        return;
    static const QtImageCodec codec;
    std::unique_ptr<QMimeData> data = clipDragMimeData(item, codec, defaultDragTemporaryDirectory());
    // Qt deletes the drag, and with it the data, once the drag is over.
    auto *drag = new QDrag(source);
    const QPixmap pixmap = dragPixmap(thumbnail);
    if (!pixmap.isNull()) {
        drag->setPixmap(pixmap);
        drag->setHotSpot(QPoint(pixmap.width() / 2, pixmap.height() / 2));
    }
    const bool directSave = data->hasFormat(directSaveType);
    drag->setMimeData(data.release());
    xcb_connection_t *connection = directSave ? x11Connection() : nullptr;
    // The drag's source window is known once the drag has begun: the first turn of the drag's own
    // event loop names the file on it, long before any target can ask. The timer dies with this
    // call, so a drag that never starts leaves nothing behind.
    QTimer nameFile;
    nameFile.setSingleShot(true);
    if (connection) {
        QObject::connect(&nameFile, &QTimer::timeout, [connection] {
            const xcb_window_t window = dragSourceWindow(connection);
            if (window != XCB_WINDOW_NONE)
                setDirectSaveName(connection, window, textClipDragFileName);
        });
        nameFile.start(0);
    }
    // The drop is answered after this returns: the target asks for the file once it has been told
    // of the drop, so the name stays until the file is written, or until the next drag replaces it.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace tarno
