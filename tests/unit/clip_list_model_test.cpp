#include "model/ClipboardHistoryViewModel.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/ManualRuntime.h"
#include "ui/ClipListModel.h"
#include "ui/PopoverViewModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <random>

using namespace tarno;

namespace {

class ClipListModelTest : public ::testing::Test
{
protected:
    ManualRuntime runtime;
    FakeImageCodec codec;
    ClipboardHistoryViewModel history{runtime, codec};
    ClipListModel model{history, codec};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Warning};
    QStringList events;

    void SetUp() override
    {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int first, int last) {
                             events << QStringLiteral("insert %1-%2").arg(first).arg(last);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex &, int first, int last) {
                             events << QStringLiteral("remove %1-%2").arg(first).arg(last);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsMoved,
                         [this](const QModelIndex &, int first, int, const QModelIndex &, int to) {
                             events << QStringLiteral("move %1>%2").arg(first).arg(to);
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { events << "reset"; });
    }

    ClipboardItem text(const QString &value) { return ClipboardItem::makeText(value, runtime.now()); }
    QVariant data(int row, int role) const { return model.data(model.index(row), role); }
    ClipboardItem image(int width, int height)
    {
        return ClipboardItem::makeImage(
            FakeImageCodec::makeImage(QSize(width, height), "png", QByteArray::number(width)), runtime.now());
    }
    QStringList rowIds() const
    {
        QStringList ids;
        for (int row = 0; row < model.rowCount(); ++row)
            ids << model.data(model.index(row), ClipListModel::ClipIdRole).toString();
        return ids;
    }
    QStringList filteredIds() const
    {
        QStringList ids;
        for (const ClipboardItem &item : history.filteredItems())
            ids << clipIdString(item.id);
        return ids;
    }
};

TEST_F(ClipListModelTest, ANewClipIsOneInsertedRowAtTheTopAndRecapturedContentLeavesItsOldRow)
{
    history.add(text("one"));
    history.add(text("two"));
    events.clear();
    history.add(text("three"));
    EXPECT_EQ(events, QStringList{"insert 0-0"});
    EXPECT_EQ(data(0, ClipListModel::PreviewTextRole).toString(), "three");
    events.clear();
    history.add(text("one"));
    EXPECT_EQ(events, (QStringList{"remove 2-2", "insert 0-0"}));
    EXPECT_EQ(rowIds(), filteredIds());
}

TEST_F(ClipListModelTest, FilterChangesRemoveAndInsertOnlyTheRowsThatDiffer)
{
    history.setItems({text("a"), image(40, 20), text("b"), image(30, 30), text("c")});
    events.clear();
    history.setFilter(ClipboardFilter::text);
    EXPECT_EQ(events, (QStringList{"remove 3-3", "remove 1-1"}));
    EXPECT_EQ(rowIds(), filteredIds());
    events.clear();
    history.setFilter(ClipboardFilter::screenshots);
    EXPECT_EQ(rowIds(), filteredIds());
    EXPECT_FALSE(events.contains("reset"));
    EXPECT_DOUBLE_EQ(data(0, ClipListModel::ImageAspectRatioRole).toDouble(), 2.0);
    EXPECT_TRUE(data(0, ClipListModel::HasImageRole).toBool());
}

TEST_F(ClipListModelTest, OnlyAShortenedTextRowCarriesANote)
{
    history.add(
        ClipboardItem::makeText(ClipText::fromUtf8(QByteArray(ClipText::maxBytes + 1, 'x')), runtime.now()));
    history.add(text("whole"));
    EXPECT_EQ(data(0, ClipListModel::ShortenedNoteRole).toString(), QString());
    EXPECT_FALSE(data(1, ClipListModel::ShortenedNoteRole).toString().isEmpty());
}

TEST_F(ClipListModelTest, ImageRowsWithoutDecodableBytesShowNoThumbnail)
{
    ClipboardItem broken = ClipboardItem::makeImage(QByteArray("not an image"), runtime.now());
    history.setItems({broken, image(40, 20)});
    EXPECT_FALSE(data(0, ClipListModel::HasImageRole).toBool());
    EXPECT_DOUBLE_EQ(data(0, ClipListModel::ImageAspectRatioRole).toDouble(), 16.0 / 9.0);
    EXPECT_TRUE(data(1, ClipListModel::HasImageRole).toBool());
    EXPECT_DOUBLE_EQ(data(1, ClipListModel::ImageAspectRatioRole).toDouble(), 2.0);
    // A row is made from the image's header alone.
    EXPECT_EQ(codec.decodes, 0);
}

TEST_F(ClipListModelTest, ReorderingsOfAnyKindEndInTheStoreOrder)
{
    // Random reorderings, removals and arrivals: whatever the store holds, the rows follow, and the
    // tester checks every signal's bracketing.
    std::mt19937 random(7);
    QList<ClipboardItem> pool;
    for (int i = 0; i < 12; ++i)
        pool << (i % 3 == 0 ? image(10 + i, 10) : text(QString::number(i)));
    for (int round = 0; round < 60; ++round) {
        QList<ClipboardItem> next = pool;
        std::shuffle(next.begin(), next.end(), random);
        next.resize(qsizetype(random() % 12));
        history.setItems(next);
        if (round % 7 == 0)
            history.setFilter(allClipboardFilters().at(int(random() % 3)));
        ASSERT_EQ(rowIds(), filteredIds()) << round;
    }
}

TEST(RelativeAgeTest, CompactUnitsRoundedDown)
{
    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    const auto age = [&](qint64 seconds) { return relativeAgeText(now.addSecs(-seconds), now); };
    const std::pair<qint64, const char *> ages[] = {
        {-30, "0 sec"},    {0, "0 sec"},      {59, "59 sec"},
        {60, "1 min"},     {3599, "59 min"},  {3600, "1 hr"},
        {86'399, "23 hr"}, {86'400, "1 day"}, {3 * 86'400 + 5, "3 days"}};
    for (const auto &[seconds, text] : ages)
        EXPECT_EQ(age(seconds), text) << seconds;
}

} // namespace
