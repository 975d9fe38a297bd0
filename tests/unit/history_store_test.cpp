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
        QObject::connect(&store, &ClipboardHistoryViewModel::itemsAboutToChange,
                         [this] { events << "items-will"; });
        QObject::connect(&store, &ClipboardHistoryViewModel::itemsChanged, [this] { events << "items-did"; });
        QObject::connect(&store, &ClipboardHistoryViewModel::filterAboutToChange,
                         [this] { events << "filter-will"; });
        QObject::connect(&store, &ClipboardHistoryViewModel::filterChanged,
                         [this] { events << "filter-did"; });
    }

    ClipboardItem text(const QString &value) { return ClipboardItem::makeText(value, runtime.now()); }
    ClipboardItem image(const QByteArray &bytes) { return ClipboardItem::makeImage(bytes, runtime.now()); }
    QStringList texts() const
    {
        QStringList result;
        for (const ClipboardItem &item : store.items())
            result << item.text.value_or("<image>").toString();
        return result;
    }
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
    EXPECT_EQ(store.items().size(), 12);
    EXPECT_EQ(store.items().first().id, again.id);
    EXPECT_EQ(texts().count("2"), 1);
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

ClipboardItem textClip(const QString &value)
{
    return ClipboardItem::makeText(value, {});
}
ClipboardItem imageClip(const QByteArray &bytes)
{
    return ClipboardItem::makeImage(bytes, {});
}
ClipboardItem absentText()
{
    return {makeClipId(), ClipboardItemKind::text, {}, std::nullopt, std::nullopt};
}

// Two clips added one after the other: whether the second counts as the first again.
struct MatchCase
{
    const char *name;
    ClipboardItem first;
    ClipboardItem second;
    bool matches;
};

TEST_F(HistoryStoreTest, WhichContentCountsAsTheSame)
{
    const QString start(100000, u'x');
    QByteArray differsAtTheEnd(5000, 'x');
    differsAtTheEnd[4999] = 'y';
    const MatchCase cases[] = {
        {"canonicallyEquivalentText", textClip("caf\u00e9"), textClip("cafe\u0301"), true},
        {"caseDiffers", textClip("caf\u00e9"), textClip("Caf\u00e9"), false},
        // After a long common start only the differing stretch decides.
        {"marksReordered", textClip(start + "a\u0301\u0323"), textClip(start + "a\u0323\u0301"), true},
        {"markAdded", textClip(start + "a\u0323\u0301"), textClip(start + "a\u0323\u0301\u0301"), false},
        {"textAndImageOfTheSameBytes", textClip("png"), imageClip("png"), false},
        {"absentAndEmptyText", absentText(), textClip(""), false},
        {"absentAndAbsentText", absentText(), absentText(), true},
        {"emptyImages", imageClip({}), imageClip({}), true},
        {"imagesDifferingInTheLastByte", imageClip(QByteArray(5000, 'x')), imageClip(differsAtTheEnd), false},
        {"equalBytesInSeparateBuffers", imageClip(QByteArray(5000, 'x')), imageClip(QByteArray(5000, 'x')),
         true},
    };
    for (const MatchCase &c : cases) {
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
    ASSERT_EQ(store.items().size(), 50);
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
    store.setItems({a, b});
    EXPECT_EQ(events, pairs(1));

    events.clear();
    ClipboardItem editedA = a;
    editedA.text = QStringLiteral("changed");
    store.setItems({editedA, b}); // same ids, same order: stored silently
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(store.items().first().text, QStringLiteral("changed"));

    store.setItems({b, a});
    EXPECT_EQ(events, pairs(1));
    events.clear();
    store.setItems({b});
    EXPECT_EQ(events, pairs(1));
}

TEST_F(HistoryStoreTest, FilterNotifiesOnlyOnChangeAndFiltersInOrder)
{
    store.add(text("t1"));
    store.add(image("i1"));
    store.add(text("t2"));
    store.add(image("i2"));
    events.clear();

    store.setFilter(ClipboardFilter::all);
    EXPECT_TRUE(events.isEmpty());
    store.setFilter(ClipboardFilter::screenshots);
    EXPECT_EQ(events, (QStringList{"filter-will", "filter-did"}));
    const auto filtered = [&] {
        QStringList result;
        for (const ClipboardItem &item : store.filteredItems())
            result << (item.text ? item.text->toString() : QString::fromLatin1(*item.imageData));
        return result;
    };
    EXPECT_EQ(filtered(), (QStringList{"i2", "i1"}));
    store.setFilter(ClipboardFilter::text);
    EXPECT_EQ(filtered(), (QStringList{"t2", "t1"}));
    EXPECT_EQ(store.items().size(), 4);
}

TEST_F(HistoryStoreTest, PruneCutsStrictlyOlderThanTheAgeAndAlwaysNotifies)
{
    store.prune(86'400);
    EXPECT_EQ(events, pairs(1)); // even on an empty list

    ClipboardItem old = text("25h");
    old.createdAt = runtime.now().addSecs(-25 * 3600);
    ClipboardItem recent = text("23h");
    recent.createdAt = runtime.now().addSecs(-23 * 3600);
    ClipboardItem boundary = text("exactly 24h");
    boundary.createdAt = runtime.now().addSecs(-24 * 3600);
    ClipboardItem fresh = text("now");
    store.setItems({fresh, recent, boundary, old});
    events.clear();

    store.prune(86'400);
    EXPECT_EQ(texts(), (QStringList{"now", "23h", "exactly 24h"}));
    EXPECT_EQ(events, pairs(1));

    events.clear();
    store.prune(86'400); // nothing to remove, still a pair
    EXPECT_EQ(events, pairs(1));
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
    ASSERT_EQ(store.items().size(), 4);
    EXPECT_EQ(store.items().at(0).text, QStringLiteral("last"));
    EXPECT_EQ(store.items().at(1).imageData, junk); // kept as received
    EXPECT_EQ(store.items().at(2).imageData, FakeImageCodec::makeImage(QSize(4, 3), "png", "pixels"));
    EXPECT_EQ(store.items().at(3).text, QStringLiteral("first"));
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
    EXPECT_EQ(ClipboardItem::makeText(QStringLiteral(" \n\t "), now).previewText(),
              QStringLiteral("Empty clip"));
    EXPECT_EQ(ClipboardItem::makeText(QStringLiteral("\u2028 a b \n"), now).previewText(),
              QStringLiteral("a b"));
    const QString big = QString(50000, u' ') + QString(1000000, u'y');
    EXPECT_EQ(ClipboardItem::makeText(big, now).previewText(), QString(ClipboardItem::previewLength, u'y'));
}
