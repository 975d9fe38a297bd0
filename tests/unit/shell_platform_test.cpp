#include "platform/api/Appearance.h"
#include "platform/api/PopoverPlacement.h"
#include "platform/qt/RuntimeFolder.h"
#include "platform/qt/SingleInstanceLock.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

const QRectF screen(0, 0, 1920, 1080);
const QSizeF popover(360, 480);

struct PlacementCase
{
    const char *name;
    QRectF anchor;
    QRectF available;
    QRectF expected;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase>
{};

TEST_P(PlacementTest, OpensAwayFromThePanelInsideTheAvailableArea)
{
    const PlacementCase &c = GetParam();
    EXPECT_EQ(popoverFrame(c.anchor, popover, screen, c.available), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, PlacementTest,
    ::testing::Values(
        // Centred under an icon in the middle of a top panel.
        PlacementCase{"topMiddle", {944, 0, 32, 24}, {0, 24, 1920, 1056}, {780, 24, 360, 480}},
        // Pushed left so as not to leave the screen on the right.
        PlacementCase{"topRightCorner", {1887, 1, 32, 22}, screen, {1560, 23, 360, 480}},
        // Above an icon in a bottom panel, kept above the panel's strut.
        PlacementCase{"bottomLeft", {4, 1056, 32, 24}, {0, 0, 1920, 1056}, {0, 576, 360, 480}},
        // Beside an icon on a left panel, centred on it vertically but inside the screen.
        PlacementCase{"leftPanel", {0, 1040, 24, 32}, {24, 0, 1896, 1080}, {24, 600, 360, 480}},
        PlacementCase{"rightPanel", {1896, 300, 24, 32}, {0, 0, 1896, 1080}, {1536, 76, 360, 480}},
        // A panel whose strut the desktop does not report: the anchor alone keeps it off the panel.
        PlacementCase{"noStrut", {600, 0, 32, 24}, screen, {436, 24, 360, 480}}),
    [](const ::testing::TestParamInfo<PlacementCase> &info) { return std::string(info.param.name); });

TEST(AppearanceTest, TheColourSchemeDecidesTheLookAndThePaletteWhereItStatesNoPreference)
{
    // color-scheme: 0 no preference, 1 dark, 2 light, anything else unknown.
    for (const bool paletteDark : {false, true}) {
        EXPECT_EQ(looksDark(colorSchemePreference(0), paletteDark), paletteDark);
        EXPECT_TRUE(looksDark(colorSchemePreference(1), paletteDark));
        EXPECT_FALSE(looksDark(colorSchemePreference(2), paletteDark));
        EXPECT_EQ(looksDark(colorSchemePreference(3), paletteDark), paletteDark);
    }
}

TEST(SingleInstanceLockTest, OnlyOneHolderAtATimeReleasedWithItAndNoneWithoutItsFolder)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("tarno-_0.lock");
    auto first = std::make_unique<SingleInstanceLock>(path);
    using Result = SingleInstanceLock::Result;
    ASSERT_EQ(first->tryLock(), Result::acquired);
    EXPECT_EQ(first->tryLock(), Result::acquired) << "asking again keeps it";
    // A second launch opens the file on its own and is refused.
    SingleInstanceLock second(path);
    EXPECT_EQ(second.tryLock(), Result::heldElsewhere);
    first.reset();
    EXPECT_EQ(second.tryLock(), Result::acquired);
    // A missing folder is not mistaken for another instance.
    EXPECT_EQ(SingleInstanceLock("/nonexistent-folder/tarno.lock").tryLock(), Result::unavailable);
}

bool isPrivate(const QString &folder)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFileInfo info(folder);
    return info.isDir() && (info.permissions() & others) == 0 && (info.permissions() & owner) == owner;
}

TEST(RuntimeFolderTest, MissingFolderIsMadePrivateReusedAndReplacedWhenNoLongerPrivate)
{
    QTemporaryDir temporary;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmp);
    });

    qunsetenv("XDG_RUNTIME_DIR");
    const QString first = ensureRuntimeFolder();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first.startsWith(temporary.path()));
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), first);
    EXPECT_TRUE(isPrivate(first));
    EXPECT_EQ(ensureRuntimeFolder(), first) << "a folder already named is kept";

    // The next launch finds the same folder, so the single-instance lock still works.
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(ensureRuntimeFolder(), first);

    // Opened up to others, it is no longer used.
    QFile::setPermissions(first, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                     QFile::ExeOther);
    qunsetenv("XDG_RUNTIME_DIR");
    const QString second = ensureRuntimeFolder();
    ASSERT_FALSE(second.isEmpty());
    EXPECT_NE(second, first);
    EXPECT_TRUE(isPrivate(second));
}

} // namespace
