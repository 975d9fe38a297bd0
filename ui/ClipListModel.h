#pragma once

#include "model/ClipboardItem.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

namespace tarno {

class ClipboardHistoryViewModel;
class ImageCodec;

// The history store's `filteredItems` as a list model, one row per clip, keyed by clip id. Each
// change of the store is turned into the row removals, moves and insertions that lead from the old
// ids to the new ones, so a new clip at the top is one inserted row and the views animate just it.
// Main thread only. The store and the codec must outlive the model.
class ClipListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the popover")

public:
    enum Role
    {
        ClipIdRole = Qt::UserRole + 1,
        KindRole,
        CreatedAtRole,
        PreviewTextRole,
        ImageAspectRatioRole,
        HasImageRole,
        ShortenedNoteRole,
    };
    Q_ENUM(Role)

    ClipListModel(ClipboardHistoryViewModel &history, const ImageCodec &codec, QObject *parent = nullptr);
    ~ClipListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The clip of a row's id, or nothing.
    std::optional<ClipboardItem> clip(const QString &clipId) const;
    // The id of the row, empty outside the list; the row of the id, -1 when it is not listed.
    QString clipIdAt(int row) const;
    int rowOf(const QString &clipId) const;

private:
    struct Row
    {
        ClipboardItem item;
        QString clipId;
        QString previewText;
        double aspectRatio = 16.0 / 9.0;
        bool hasImage = false;
    };
    Row makeRow(const ClipboardItem &item) const;
    void sync();

    ClipboardHistoryViewModel &m_history;
    const ImageCodec &m_codec;
    QList<Row> m_rows;
};

// The text form of a clip id the views and the image provider use: the UUID without braces.
QString clipIdString(const QUuid &id);

} // namespace tarno
