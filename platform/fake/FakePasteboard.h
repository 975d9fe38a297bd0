#pragma once

#include "platform/api/Pasteboard.h"

#include <QPair>

namespace tarno {

// One item of a fake pasteboard: types in order, each with bytes or, to model a type that is
// announced but cannot be had, without.
struct FakePasteboardItem
{
    QList<QPair<QString, std::optional<QByteArray>>> entries;

    FakePasteboardItem &add(const QString &type, std::optional<QByteArray> data)
    {
        entries.append({type, std::move(data)});
        return *this;
    }
};

// An in-memory pasteboard. The content is set directly by the test; `simulateCopy` stands for
// another program writing it (the change count moves). Writes by the program under test are
// recorded in `writeLog` and become the readable content, as on the real clipboard.
class FakePasteboard : public Pasteboard
{
public:
    // Content, as another program would leave it. None of these move the change count.
    void setItems(QList<FakePasteboardItem> items) { m_items = std::move(items); }
    // The pasteboard's own type list; by default the item types in order without repeats.
    void setPasteboardTypes(std::optional<QStringList> types) { m_types = std::move(types); }
    void setImageObjects(QList<DecodedImagePtr> images) { m_images = std::move(images); }
    void setFileURLs(QList<QUrl> urls) { m_urls = std::move(urls); }
    void setStringObjects(QStringList strings) { m_strings = std::move(strings); }
    // items() reports none while the typed reads still answer from the content, as a pasteboard
    // that offers data without listing items.
    void setItemsHidden(bool hidden) { m_itemsHidden = hidden; }
    // Empties everything and moves the change count, as a new owner taking the clipboard would.
    void simulateCopy();
    // Replaces the content with one text item and moves the change count.
    void simulateCopyText(const QString &text);
    // Replaces the content with one item holding the bytes under the type and moves the change count.
    void simulateCopyData(const QByteArray &data, const QString &type);
    void bumpChangeCount() { ++m_changeCount; }
    // A pasteboard that announces its changes: the test then makes the platform's cue itself.
    void setAnnouncesChanges(bool announces) { m_announces = announces; }
    // The content's owner going away: it stays readable, orphaned, until adopted or replaced.
    void simulateOwnerGone() { m_orphaned = true; }

    // How often the content was read through items(), types() or a data accessor.
    int readCount() const { return m_reads; }
    // "clear", "string <type>", "data <type>", "image", in the order the program wrote.
    QStringList writeLog;

    QList<PasteboardItemPtr> items() const override;
    QStringList types() const override;
    std::optional<QByteArray> dataForType(const QString &type) const override;
    std::optional<QString> stringForType(const QString &type) const override;
    QList<DecodedImagePtr> imageObjects() const override;
    QList<QUrl> fileURLs() const override;
    QStringList stringObjects() const override;

    qint64 changeCount() const override { return m_changeCount; }
    bool announcesChanges() const override { return m_announces; }
    void clearContents() override;
    void setString(const QString &text, const QString &type) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeImage(const DecodedImagePtr &image) override;
    bool isOrphaned() const override { return m_orphaned; }
    // Logged as "adopt".
    void adoptOrphanedContent() override;

private:
    FakePasteboardItem &writableItem();

    QList<FakePasteboardItem> m_items;
    std::optional<QStringList> m_types;
    QList<DecodedImagePtr> m_images;
    QList<QUrl> m_urls;
    QStringList m_strings;
    bool m_itemsHidden = false;
    bool m_announces = false;
    bool m_orphaned = false;
    qint64 m_changeCount = 1;
    mutable int m_reads = 0;
};

} // namespace tarno
