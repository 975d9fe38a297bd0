#pragma once

#include "model/ClipSearch.h"
#include "model/ClipboardItem.h"
#include "model/PasteboardCapture.h"

#include <QList>
#include <QObject>

namespace tarno {

class ImageCodec;
class Runtime;

// The one store of clips, newest first, at most `maxItems`. Main thread only: every read,
// assignment, operation and notification happens there. Each change of `items` or `filter` is
// announced by the matching AboutToChange signal before it is stored and the Changed signal after.
class ClipboardHistoryViewModel : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype maxItems = 50;

    // The runtime gives the time of new clips and the retention cut-off; the codec converts dropped
    // images to PNG. Both must outlive the store.
    ClipboardHistoryViewModel(Runtime &runtime, const ImageCodec &codec, QObject *parent = nullptr);
    ~ClipboardHistoryViewModel() override;

    const QList<ClipboardItem> &items() const { return m_items; }
    // Stores the list. A list with the same ids in the same order is stored without notifying.
    void setItems(QList<ClipboardItem> items);

    ClipboardFilter filter() const { return m_filter; }
    // Assigning the current filter does nothing.
    void setFilter(ClipboardFilter filter);

    // What the popover's search field holds; assigning the current one does nothing. Announced by
    // searchTextChanged alone.
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text);

    // The clips passing the filter and the search, in list order; computed on every read.
    QList<ClipboardItem> filteredItems() const;

    // Puts the clip first, after removing the nearest clip of equal content, cuts the list to
    // `maxItems`, then asks the retention cleanup service to prune.
    void add(ClipboardItem item);
    // Each capture, in order, becomes a new clip through `add`; images are converted to PNG here.
    void addCaptures(const PasteboardCaptures &captures);
    // Removes every clip created strictly earlier than now minus `maxAgeSeconds`; always notifies.
    void prune(double maxAgeSeconds);
    // Removes the clip of that id; nothing happens when there is none.
    void remove(const QUuid &id);
    // Empties the list; always notifies. The filter stays.
    void clear();

Q_SIGNALS:
    void itemsAboutToChange();
    void itemsChanged();
    void filterAboutToChange();
    void filterChanged();
    void searchTextChanged();

private:
    template <typename Mutation> void mutateItems(Mutation &&mutation);

    Runtime &m_runtime;
    const ImageCodec &m_codec;
    QList<ClipboardItem> m_items;
    ClipboardFilter m_filter = ClipboardFilter::all;
    QString m_searchText;
    ClipSearch m_search;
};

// Whether two clips hold the same content under the store's de-duplication rule: same kind, and
// canonically equivalent text or byte-identical image data (absent equals absent).
bool hasSameContent(const ClipboardItem &a, const ClipboardItem &b);

} // namespace tarno
