#include "platform/fake/FakePasteboard.h"

namespace tarno {

namespace {

class Item : public PasteboardItem
{
public:
    explicit Item(FakePasteboardItem item) : m_item(std::move(item)) {}
    QStringList types() const override
    {
        QStringList result;
        for (const auto &entry : m_item.entries)
            result.append(entry.first);
        return result;
    }
    std::optional<QByteArray> dataForType(const QString &type) const override
    {
        for (const auto &entry : m_item.entries) {
            if (entry.first == type)
                return entry.second;
        }
        return std::nullopt;
    }

private:
    FakePasteboardItem m_item;
};

} // namespace

void FakePasteboard::simulateCopy()
{
    m_items.clear();
    m_types.reset();
    m_images.clear();
    m_urls.clear();
    m_strings.clear();
    m_orphaned = false;
    ++m_changeCount;
}

void FakePasteboard::simulateCopyText(const QString &text)
{
    simulateCopy();
    m_items = {FakePasteboardItem().add(PasteboardType::plainText, text.toUtf8())};
}

void FakePasteboard::simulateCopyData(const QByteArray &data, const QString &type)
{
    simulateCopy();
    m_items = {FakePasteboardItem().add(type, data)};
}

QList<PasteboardItemPtr> FakePasteboard::items() const
{
    ++m_reads;
    QList<PasteboardItemPtr> result;
    if (m_itemsHidden)
        return result;
    for (const FakePasteboardItem &item : m_items)
        result.append(std::make_shared<Item>(item));
    return result;
}

QStringList FakePasteboard::types() const
{
    ++m_reads;
    if (m_types)
        return *m_types;
    QStringList result;
    for (const FakePasteboardItem &item : m_items) {
        for (const auto &entry : item.entries) {
            if (!result.contains(entry.first))
                result.append(entry.first);
        }
    }
    return result;
}

std::optional<QByteArray> FakePasteboard::dataForType(const QString &type) const
{
    ++m_reads;
    for (const FakePasteboardItem &item : m_items) {
        for (const auto &entry : item.entries) {
            if (entry.first == type)
                return entry.second;
        }
    }
    return std::nullopt;
}

std::optional<QString> FakePasteboard::stringForType(const QString &type) const
{
    const std::optional<QByteArray> data = dataForType(type);
    if (!data)
        return std::nullopt;
    return QString::fromUtf8(*data);
}

QList<DecodedImagePtr> FakePasteboard::imageObjects() const
{
    ++m_reads;
    return m_images;
}

QList<QUrl> FakePasteboard::fileURLs() const
{
    ++m_reads;
    QList<QUrl> result = m_urls;
    result.removeIf([](const QUrl &url) { return !url.isLocalFile(); });
    return result;
}

QStringList FakePasteboard::stringObjects() const
{
    ++m_reads;
    return m_strings;
}

void FakePasteboard::adoptOrphanedContent()
{
    writeLog.append(QStringLiteral("adopt"));
    m_orphaned = false;
}

void FakePasteboard::clearContents()
{
    writeLog.append(QStringLiteral("clear"));
    simulateCopy();
}

FakePasteboardItem &FakePasteboard::writableItem()
{
    if (m_items.isEmpty())
        m_items.append(FakePasteboardItem());
    return m_items.first();
}

void FakePasteboard::setString(const QString &text, const QString &type)
{
    writeLog.append(QStringLiteral("string ") + type);
    writableItem().add(type, text.toUtf8());
}

void FakePasteboard::setData(const QByteArray &data, const QString &type)
{
    writeLog.append(QStringLiteral("data ") + type);
    writableItem().add(type, data);
}

void FakePasteboard::writeImage(const DecodedImagePtr &image)
{
    writeLog.append(QStringLiteral("image"));
    m_images.append(image);
}

} // namespace tarno
