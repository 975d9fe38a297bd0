#include "model/ClipboardHistoryViewModel.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/ManualRuntime.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

class HistoryStoreTest : public ::testing::Test
{
protected:
    ManualRuntime runtime;
    FakeImageCodec codec;
    ClipboardHistoryViewModel store{runtime, codec};

    // Signals in the order they were emitted, so a test sees pairs and their nesting.
    QStringList events;
    void SetUp() override
    {
        using Model = ClipboardHistoryViewModel;
        for (const auto &[signal, name] : {std::pair{&Model::itemsAboutToChange, "items-will"},
                                           {&Model::itemsChanged, "items-did"},
                                           {&Model::filterAboutToChange, "filter-will"},
                                           {&Model::filterChanged, "filter-did"}})
            QObject::connect(&store, signal, [this, name] { events << name; });
    }

    ClipboardItem text(const QString &value) { return ClipboardItem::makeText(value, runtime.now()); }
    ClipboardItem image(const QByteArray &bytes) { return ClipboardItem::makeImage(bytes, runtime.now()); }
    // Each clip's text, or its image bytes as Latin-1.
    static QStringList contents(const QList<ClipboardItem> &items)
    {
        QStringList result;
        for (const ClipboardItem &item : items)
            result << (item.text ? item.text->toString() : QString::fromLatin1(item.imageData.value_or("")));
        return result;
    }
    QStringList texts() const { return contents(store.items()); }
    static QStringList pairs(int n)
    {
        QStringList result;
        for (int i = 0; i < n; ++i)
            result << "items-will"
                   << "items-did";
        return result;
    }
};

TEST_F(HistoryStoreTest, RecapturedContentMovesToFrontWithTheNewIdentity)
{
    for (int i = 0; i < 12; ++i)
        store.add(text(QString::number(i)));
    // "2" is the tenth clip from the front.
    ASSERT_EQ(store.items().at(9).text, QStringLiteral("2"));
    events.clear();
    ClipboardItem again = text("2");
    store.add(again);
    EXPECT_EQ(texts(), (QStringList{"2", "11", "10", "9", "8", "7", "6", "5", "4", "3", "1", "0"}));
    EXPECT_EQ(store.items().first().id, again.id);
    EXPECT_EQ(events, pairs(2)); // the removal, then the insertion

    // Only the duplicate nearest the front goes.
    ClipboardItem other = text("other");
    ClipboardItem second = text("same");
    store.setItems({text("same"), other, second});
    store.add(text("same"));
    ASSERT_EQ(store.items().size(), 3);
    EXPECT_EQ(store.items().at(1).id, other.id);
    EXPECT_EQ(store.items().at(2).id, second.id);
}

// Two clips added one after the other: whether the second counts as the first again.
TEST_F(HistoryStoreTest, WhichContentCountsAsTheSame)
{
    const QString start(100000, u'x');
    QByteArray differsAtTheEnd(5000, 'x');
    differsAtTheEnd[4999] = 'y';
    const auto absentText = [] {
        return ClipboardItem{makeClipId(), ClipboardItemKind::text, {}, std::nullopt, std::nullopt};
    };
    const struct
    {
        const char *name;
        ClipboardItem first;
        ClipboardItem second;
        bool matches;
    } cases[] = {
        {"canonicallyEquivalentText", text("caf\u00e9"), text("cafe\u0301"), true},
        {"caseDiffers", text("caf\u00e9"), text("Caf\u00e9"), false},
        // After a long common start only the differing stretch decides.
        {"marksReordered", text(start + "a\u0301\u0323"), text(start + "a\u0323\u0301"), true},
        {"markAdded", text(start + "a\u0323\u0301"), text(start + "a\u0323\u0301\u0301"), false},
        {"textAndImageOfTheSameBytes", text("png"), image("png"), false},
        {"absentAndEmptyText", absentText(), text(""), false},
        {"absentAndAbsentText", absentText(), absentText(), true},
        {"emptyImages", image({}), image({}), true},
        {"imagesDifferingInTheLastByte", image(QByteArray(5000, 'x')), image(differsAtTheEnd), false},
        {"equalBytesInSeparateBuffers", image(QByteArray(5000, 'x')), image(QByteArray(5000, 'x')), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        store.clear();
        store.add(c.first);
        store.add(c.second);
        EXPECT_EQ(store.items().size(), c.matches ? 1 : 2);
        EXPECT_EQ(store.items().first().id, c.second.id);
    }
}

TEST_F(HistoryStoreTest, CapacityDropsTheOldestWithOneMoreNotification)
{
    for (int i = 0; i < 50; ++i)
        store.add(text(QString::number(i)));
    events.clear();
    store.add(text("new"));
    EXPECT_EQ(store.items().size(), 50);
    EXPECT_EQ(store.items().first().text, QStringLiteral("new"));
    EXPECT_EQ(store.items().last().text, QStringLiteral("1"));
    EXPECT_EQ(events, pairs(2)); // insertion, then the cut

    events.clear();
    store.add(text("25")); // a match: removal and insertion, nothing to cut
    EXPECT_EQ(store.items().size(), 50);
    EXPECT_EQ(events, pairs(2));
}

TEST_F(HistoryStoreTest, AssigningItemsNotifiesOnlyWhenIdsChange)
{
    ClipboardItem a = text("a");
    ClipboardItem b = text("b");
    ClipboardItem editedA = a;
    editedA.text = QStringLiteral("changed");
    // Same ids in the same order are stored silently.
    const struct
    {
        QList<ClipboardItem> items;
        QStringList events;
    } steps[] = {{{a, b}, pairs(1)}, {{editedA, b}, {}}, {{b, a}, pairs(1)}, {{b}, pairs(1)}};
    for (const auto &step : steps) {
        events.clear();
        store.setItems(step.items);
        EXPECT_EQ(events, step.events);
        EXPECT_EQ(texts(), contents(step.items));
    }
}

TEST_F(HistoryStoreTest, FilterNotifiesOnlyOnChangeAndFiltersInOrder)
{
    for (const ClipboardItem &item : {text("t1"), image("i1"), text("t2"), image("i2")})
        store.add(item);
    events.clear();

    store.setFilter(ClipboardFilter::all);
    EXPECT_TRUE(events.isEmpty());
    store.setFilter(ClipboardFilter::screenshots);
    EXPECT_EQ(events, (QStringList{"filter-will", "filter-did"}));
    EXPECT_EQ(contents(store.filteredItems()), (QStringList{"i2", "i1"}));
    store.setFilter(ClipboardFilter::text);
    EXPECT_EQ(contents(store.filteredItems()), (QStringList{"t2", "t1"}));
    EXPECT_EQ(store.items().size(), 4);
}

TEST_F(HistoryStoreTest, PruneCutsStrictlyOlderThanTheAgeAndAlwaysNotifies)
{
    store.prune(86'400);
    EXPECT_EQ(events, pairs(1)); // even on an empty list

    QList<ClipboardItem> items;
    for (const auto &[name, hours] : {std::pair{"now", 0}, {"23h", 23}, {"exactly 24h", 24}, {"25h", 25}}) {
        items << text(name);
        items.last().createdAt = runtime.now().addSecs(-hours * 3600);
    }
    store.setItems(items);
    for (int i = 0; i < 2; ++i) { // the second time nothing is removed, but there is still a pair
        events.clear();
        store.prune(86'400);
        EXPECT_EQ(texts(), (QStringList{"now", "23h", "exactly 24h"}));
        EXPECT_EQ(events, pairs(1));
    }
}

TEST_F(HistoryStoreTest, ClearAlwaysNotifiesAndKeepsTheFilter)
{
    store.setFilter(ClipboardFilter::text);
    for (int size : {0, 1}) {
        if (size)
            store.add(text("x"));
        events.clear();
        store.clear();
        EXPECT_TRUE(store.items().isEmpty());
        EXPECT_EQ(store.filter(), ClipboardFilter::text);
        EXPECT_EQ(events, pairs(1)) << size;
    }
}

TEST_F(HistoryStoreTest, AddCapturesKeepsOrderConvertsImagesAndFallsBack)
{
    runtime.advance(10s);
    const QByteArray tiff = FakeImageCodec::makeImage(QSize(4, 3), "tiff", "pixels");
    const QByteArray junk("not an image at all");
    store.addCaptures({PasteboardCapture::text("first"), PasteboardCapture::image(tiff),
                       PasteboardCapture::image(junk), PasteboardCapture::text("last")});
    // The junk is kept as received.
    EXPECT_EQ(texts(),
              (QStringList{"last", junk, FakeImageCodec::makeImage(QSize(4, 3), "png", "pixels"), "first"}));
    for (const ClipboardItem &item : store.items())
        EXPECT_EQ(item.createdAt, runtime.now());

    events.clear();
    store.addCaptures({});
    EXPECT_TRUE(events.isEmpty());
}

} // namespace

TEST(ClipPreviewTest, ShowsABoundedTrimmedStartOfTheText)
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(0);
    const QString big = QString(50000, u' ') + QString(1000000, u'y');
    for (const auto &[text, preview] : {std::pair{QString(" \n\t "), QString("Empty clip")},
                                        {QString("\u2028 a b \n"), QString("a b")},
                                        {big, QString(ClipboardItem::previewLength, u'y')}})
        EXPECT_EQ(ClipboardItem::makeText(text, now).previewText(), preview);
}
