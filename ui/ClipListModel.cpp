#include "ui/ClipListModel.h"

#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/ImageCodec.h"

#include <QSet>

namespace tarno {

QString clipIdString(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

ClipListModel::ClipListModel(ClipboardHistoryViewModel &history, const ImageCodec &codec, QObject *parent)
    : QAbstractListModel(parent), m_history(history), m_codec(codec)
{
    for (const ClipboardItem &item : m_history.filteredItems())
        m_rows.append(makeRow(item));
    connect(&m_history, &ClipboardHistoryViewModel::itemsChanged, this, &ClipListModel::sync);
    connect(&m_history, &ClipboardHistoryViewModel::filterChanged, this, &ClipListModel::sync);
    connect(&m_history, &ClipboardHistoryViewModel::searchTextChanged, this, &ClipListModel::sync);
}

ClipListModel::~ClipListModel() = default;

ClipListModel::Row ClipListModel::makeRow(const ClipboardItem &item) const
{
    Row row{item, clipIdString(item.id), {}};
    if (item.kind == ClipboardItemKind::text)
        row.previewText = item.previewText();
    if (item.kind == ClipboardItemKind::image && item.imageData) {
        // The header alone tells whether a thumbnail can be shown and at what ratio; the pixels
        // are decoded later, off the main thread, at display size.
        const std::optional<QSize> size = m_codec.sizeFromData(*item.imageData);
        row.hasImage = size && size->width() > 0 && size->height() > 0;
        row.aspectRatio = ClipboardItem::aspectRatioOf(size);
    }
    return row;
}

void ClipListModel::sync()
{
    const QList<ClipboardItem> target = m_history.filteredItems();
    QSet<QUuid> targetIds;
    for (const ClipboardItem &item : target)
        targetIds.insert(item.id);

    // Rows that left, bottom up, in contiguous runs.
    for (int end = int(m_rows.size()) - 1; end >= 0;) {
        if (targetIds.contains(m_rows.at(end).item.id)) {
            --end;
            continue;
        }
        int first = end;
        while (first > 0 && !targetIds.contains(m_rows.at(first - 1).item.id))
            --first;
        beginRemoveRows({}, first, end);
        m_rows.remove(first, end - first + 1);
        endRemoveRows();
        end = first - 1;
    }

    // Then walk the target: a row already there stays, one further down moves up, a new one is
    // inserted. Ids are unique, so this ends with the rows in target order.
    for (int i = 0; i < target.size(); ++i) {
        const ClipboardItem &wanted = target.at(i);
        if (i < m_rows.size() && m_rows.at(i).item.id == wanted.id)
            continue;
        int from = -1;
        for (int j = i + 1; j < m_rows.size(); ++j) {
            if (m_rows.at(j).item.id == wanted.id) {
                from = j;
                break;
            }
        }
        if (from >= 0) {
            beginMoveRows({}, from, from, {}, i);
            m_rows.move(from, i);
            endMoveRows();
        } else {
            beginInsertRows({}, i, i);
            m_rows.insert(i, makeRow(wanted));
            endInsertRows();
        }
    }
}

int ClipListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ClipListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case ClipIdRole:
        return row.clipId;
    case KindRole:
        return rawValue(row.item.kind);
    case CreatedAtRole:
        return row.item.createdAt;
    case PreviewTextRole:
        return row.previewText;
    case ImageAspectRatioRole:
        return row.aspectRatio;
    case HasImageRole:
        return row.hasImage;
    case ShortenedNoteRole:
        return shortenedNote(row.item);
    default:
        return {};
    }
}

QHash<int, QByteArray> ClipListModel::roleNames() const
{
    return {{ClipIdRole, "clipId"},
            {KindRole, "kind"},
            {CreatedAtRole, "createdAt"},
            {PreviewTextRole, "previewText"},
            {ImageAspectRatioRole, "imageAspectRatio"},
            {HasImageRole, "hasImage"},
            {ShortenedNoteRole, "shortenedNote"}};
}

std::optional<ClipboardItem> ClipListModel::clip(const QString &clipId) const
{
    for (const Row &row : m_rows) {
        if (row.clipId == clipId)
            return row.item;
    }
    return std::nullopt;
}

QString ClipListModel::clipIdAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).clipId : QString();
}

int ClipListModel::rowOf(const QString &clipId) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).clipId == clipId)
            return row;
    }
    return -1;
}

} // namespace tarno
