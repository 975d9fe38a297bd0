#include "capture/SystemScreenshotPreferences.h"
#include "platform/fake/FakeProcessRunner.h"
#include "platform/qt/QtProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

const QString readTarget = "/usr/bin/defaults read com.apple.screencapture target";
const QString readLocation = "/usr/bin/defaults read com.apple.screencapture location";
const QString writeTarget = "/usr/bin/defaults write com.apple.screencapture target clipboard";
const QString killUiServer = "/usr/bin/killall SystemUIServer";
const QString killCaptureUi = "/usr/bin/killall screencaptureui";

class ScreenshotPreferencesTest : public ::testing::Test
{
protected:
    QTemporaryDir home;
    FakeProcessRunner runner;
    SystemScreenshotPreferences preferences{runner, home.path()};

    QString folder(const QString &relative, bool create = true) const
    {
        const QString path = home.filePath(relative);
        if (create)
            QDir().mkpath(path);
        return path;
    }
};

TEST_F(ScreenshotPreferencesTest, EnablingWritesRestartsAndReadsBack)
{
    runner.scriptExit(writeTarget, 0);
    runner.scriptExit(readTarget, 0, "clipboard\n");
    EXPECT_TRUE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(runner.callLog, (QStringList{"run " + writeTarget, "launch " + killUiServer,
                                           "launch " + killCaptureUi, "run " + readTarget}));

    // A target that does not read back as clipboard, or cannot be read, means it did not take; the
    // restarts still happen, and failing to launch them changes nothing.
    runner.callLog.clear();
    runner.scriptExit(readTarget, 0, "file\n");
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(runner.callLog.size(), 4);
    runner.scriptExit(readTarget, 1);
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
}

TEST_F(ScreenshotPreferencesTest, FailedWriteRestartsNothing)
{
    runner.scriptExit(readTarget, 0, "clipboard\n");
    runner.scriptExit(writeTarget, 1);
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(runner.callLog, QStringList{"run " + writeTarget});

    ProcessResult killed;
    killed.outcome = ProcessResult::Outcome::timedOut;
    runner.script(writeTarget, killed);
    runner.callLog.clear();
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(runner.callLog, QStringList{"run " + writeTarget});
}

struct TargetCase
{
    const char *name;
    std::optional<QByteArray> output; // none: the key is not set
    bool active;
};

class TargetTest : public ScreenshotPreferencesTest, public ::testing::WithParamInterface<TargetCase>
{};

TEST_P(TargetTest, OnlyTheTrimmedWordClipboardCounts)
{
    if (GetParam().output)
        runner.scriptExit(readTarget, 0, *GetParam().output);
    else
        runner.scriptExit(readTarget, 1);
    EXPECT_EQ(preferences.isClipboardScreenshotTargetActive(), GetParam().active);
    EXPECT_EQ(runner.callLog, QStringList{"run " + readTarget});
}

INSTANTIATE_TEST_SUITE_P(Values, TargetTest,
                         ::testing::Values(TargetCase{"plain", QByteArray("clipboard"), true},
                                           TargetCase{"padded", QByteArray(" \t clipboard \r\n"), true},
                                           TargetCase{"file", QByteArray("file\n"), false},
                                           TargetCase{"capitalised", QByteArray("Clipboard\n"), false},
                                           TargetCase{"longer", QByteArray("clipboards\n"), false},
                                           TargetCase{"inner", QByteArray("clip board\n"), false},
                                           TargetCase{"empty", QByteArray(""), false},
                                           TargetCase{"notUtf8", QByteArray("clipboard\xff\n"), false},
                                           TargetCase{"unset", std::nullopt, false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScreenshotPreferencesTest, StepsTurnEveryFailureIntoFalseOrNone)
{
    runner.scriptExit("/usr/bin/defaults a b", 0);
    runner.scriptExit("/usr/bin/defaults c", 4);
    EXPECT_TRUE(preferences.runDefaults({"a", "b"}));
    EXPECT_FALSE(preferences.runDefaults({"c"}));
    EXPECT_FALSE(preferences.runDefaults({"unscripted"}));

    runner.scriptExit(readLocation, 0, "\n");
    EXPECT_EQ(preferences.readScreencaptureValue("location"), QString("")); // present but empty
    runner.scriptExit(readLocation, 0, "\xc3\x28");
    EXPECT_EQ(preferences.readScreencaptureValue("location"), std::nullopt);

    runner.launchFails = true;
    runner.scriptExit(readTarget, 0, "clipboard\n");
    EXPECT_FALSE(preferences.isClipboardScreenshotTargetActive());
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(preferences.systemScreenshotLocation(), std::nullopt);
    preferences.restartScreenshotServices();
    EXPECT_EQ(runner.callLog.mid(runner.callLog.size() - 2),
              (QStringList{"launch " + killUiServer, "launch " + killCaptureUi}));
}

struct FoldersCase
{
    const char *name;
    // The location preference as printed, with "HOME" standing for the temporary home; none: unset.
    std::optional<QString> location;
    bool screenshotsFolderExists;
    QStringList expected; // relative to the temporary home; absolute when starting with "/"
};

class FoldersTest : public ScreenshotPreferencesTest, public ::testing::WithParamInterface<FoldersCase>
{};

TEST_P(FoldersTest, LocationFirstThenTheFallBacks)
{
    folder("Elsewhere");
    folder("Desktop");
    QFile file(home.filePath("a-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    if (GetParam().screenshotsFolderExists)
        folder("Pictures/Screenshots");
    folder("~/shots"); // a folder literally named "~" below home, which must not be found

    if (GetParam().location)
        runner.scriptExit(readLocation, 0,
                          QString(*GetParam().location).replace("HOME", home.path()).toUtf8());
    else
        runner.scriptExit(readLocation, 1);

    QStringList expected;
    for (const QString &entry : GetParam().expected)
        expected << (entry.startsWith('/') ? entry : home.filePath(entry));
    EXPECT_EQ(preferences.screenshotFolders(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FoldersTest,
    ::testing::Values(
        FoldersCase{"unset", std::nullopt, false, {"Desktop"}},
        FoldersCase{"unsetWithScreenshots", std::nullopt, true, {"Desktop", "Pictures/Screenshots"}},
        FoldersCase{
            "elsewhere", QString("HOME/Elsewhere\n"), true, {"Elsewhere", "Desktop", "Pictures/Screenshots"}},
        FoldersCase{
            "desktopWithSlash", QString("  HOME/Desktop/\n"), true, {"Desktop", "Pictures/Screenshots"}},
        FoldersCase{"screenshotsTwice",
                    QString("HOME/Pictures/Screenshots\n"),
                    true,
                    {"Pictures/Screenshots", "Desktop", "Pictures/Screenshots"}},
        FoldersCase{"file", QString("HOME/a-file\n"), false, {"Desktop"}},
        FoldersCase{"tilde", QString("~/shots\n"), false, {"Desktop"}},
        FoldersCase{"relative", QString("Elsewhere\n"), false, {"Desktop"}},
        FoldersCase{"root", QString("/\n"), false, {"/", "Desktop"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScreenshotPreferencesTest, DesktopIsListedEvenWhenItDoesNotExistAndScreenshotsWhenAnythingIsThere)
{
    runner.scriptExit(readLocation, 1);
    QDir().mkpath(home.filePath("Pictures"));
    QFile file(home.filePath("Pictures/Screenshots"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(preferences.screenshotFolders(),
              (QStringList{home.filePath("Desktop"), home.filePath("Pictures/Screenshots")}));
}

// On this platform the tools are absent, so the real runner fails every launch.
TEST(ScreenshotPreferencesOnLinuxTest, EverythingIsFalseOrNone)
{
    if (QFileInfo::exists(SystemScreenshotPreferences::defaultsTool))
        GTEST_SKIP() << "this machine has the defaults tool";
    QTemporaryDir home;
    QtProcessRunner runner(2s);
    SystemScreenshotPreferences preferences(runner, home.path());
    EXPECT_FALSE(preferences.runDefaults({"read", "com.apple.screencapture", "target"}));
    EXPECT_EQ(preferences.readScreencaptureValue("target"), std::nullopt);
    EXPECT_FALSE(preferences.isClipboardScreenshotTargetActive());
    EXPECT_FALSE(preferences.enableClipboardScreenshots());
    EXPECT_EQ(preferences.systemScreenshotLocation(), std::nullopt);
    EXPECT_EQ(preferences.screenshotFolders(), QStringList{home.filePath("Desktop")});
}

} // namespace
