#include "model/ClipboardHistoryViewModel.h"

#include "model/HistoryCleanupService.h"
#include "platform/api/Runtime.h"

#include <algorithm>
#include <cstring>

namespace tarno {

namespace {

bool sameIds(const QList<ClipboardItem> &a, const QList<ClipboardItem> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    // Lengths first: images of different sizes are told apart without touching their bytes.
    if (a.size() != b.size())
        return false;
    return a.isEmpty() || a.constData() == b.constData() ||
           std::memcmp(a.constData(), b.constData(), a.size()) == 0;
}

template <typename T, typename Equal>
bool optionalEqual(const std::optional<T> &a, const std::optional<T> &b, Equal equal)
{
    if (!a || !b)
        return !a && !b;
    return equal(*a, *b);
}

} // namespace

bool hasSameContent(const ClipboardItem &a, const ClipboardItem &b)
{
    if (a.kind != b.kind)
        return false;
    if (a.kind == ClipboardItemKind::text)
        return optionalEqual(a.text, b.text, canonicallyEquivalent);
    return optionalEqual(a.imageData, b.imageData, sameBytes);
}

ClipboardHistoryViewModel::ClipboardHistoryViewModel(Runtime &runtime, const ImageCodec &codec,
                                                     QObject *parent)
    : QObject(parent), m_runtime(runtime), m_codec(codec)
{}

ClipboardHistoryViewModel::~ClipboardHistoryViewModel() = default;

template <typename Mutation> void ClipboardHistoryViewModel::mutateItems(Mutation &&mutation)
{
    Q_EMIT itemsAboutToChange();
    mutation(m_items);
    Q_EMIT itemsChanged();
}

void ClipboardHistoryViewModel::setItems(QList<ClipboardItem> items)
{
    if (sameIds(m_items, items)) {
        m_items = std::move(items);
        return;
    }
    mutateItems([&](QList<ClipboardItem> &list) { list = std::move(items); });
}

void ClipboardHistoryViewModel::setFilter(ClipboardFilter filter)
{
    if (filter == m_filter)
        return;
    Q_EMIT filterAboutToChange();
    m_filter = filter;
    Q_EMIT filterChanged();
}

void ClipboardHistoryViewModel::setSearchText(const QString &text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_search = ClipSearch(text);
    Q_EMIT searchTextChanged();
}

QList<ClipboardItem> ClipboardHistoryViewModel::filteredItems() const
{
    QList<ClipboardItem> result;
    for (const ClipboardItem &item : m_items) {
        if (matches(m_filter, item.kind) && m_search.matches(item))
            result.append(item);
    }
    return result;
}

void ClipboardHistoryViewModel::add(ClipboardItem item)
{
    const auto match = std::find_if(m_items.cbegin(), m_items.cend(), [&](const ClipboardItem &existing) {
        return hasSameContent(existing, item);
    });
    if (match != m_items.cend()) {
        const qsizetype index = match - m_items.cbegin();
        mutateItems([index](QList<ClipboardItem> &list) { list.removeAt(index); });
    }
    mutateItems([&](QList<ClipboardItem> &list) { list.prepend(std::move(item)); });
    if (m_items.size() > maxItems)
        mutateItems([](QList<ClipboardItem> &list) { list.resize(maxItems); });
    HistoryCleanupService::shared().pruneNow();
}

void ClipboardHistoryViewModel::addCaptures(const PasteboardCaptures &captures)
{
    for (const PasteboardCapture &capture : captures) {
        if (capture.isText())
            add(ClipboardItem::makeText(capture.textValue(), m_runtime.now()));
        else
            add(ClipboardItem::makeImage(pngDataOrOriginal(m_codec, capture.imageBytes()), m_runtime.now()));
    }
}

void ClipboardHistoryViewModel::prune(double maxAgeSeconds)
{
    const QDateTime cutoff = m_runtime.now().addMSecs(qint64(-maxAgeSeconds * 1000.0));
    mutateItems([&](QList<ClipboardItem> &list) {
        list.removeIf([&](const ClipboardItem &item) { return item.createdAt < cutoff; });
    });
}

void ClipboardHistoryViewModel::remove(const QUuid &id)
{
    const auto match = std::find_if(m_items.cbegin(), m_items.cend(),
                                    [&](const ClipboardItem &item) { return item.id == id; });
    if (match == m_items.cend())
        return;
    const qsizetype index = match - m_items.cbegin();
    mutateItems([index](QList<ClipboardItem> &list) { list.removeAt(index); });
}

void ClipboardHistoryViewModel::clear()
{
    mutateItems([](QList<ClipboardItem> &list) { list.clear(); });
}

} // namespace tarno
