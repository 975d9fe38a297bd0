#include "capture/SystemScreenshotPreferences.h"
#include "capture/ToolConfigFiles.h"
#include "platform/fake/FakeProcessRunner.h"
#include "tests/support/TestData.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

const QString readGnomeFolder = "/usr/bin/gsettings get org.gnome.gnome-screenshot auto-save-directory";
const QString findSpectacle = "/usr/bin/pgrep -x spectacle";

// A GNU gettext catalogue holding the translations, in the layout msgfmt writes.
QByteArray catalogue(const QMap<QString, QString> &translations)
{
    QByteArray header(28, '\0'), tables, strings;
    const quint32 count = quint32(translations.size());
    const quint32 originals = 28, translated = originals + 8 * count, start = translated + 8 * count;
    const auto put = [](QByteArray &into, qsizetype at, quint32 value) {
        qToLittleEndian(value, into.data() + at);
    };
    put(header, 0, 0x950412de);
    put(header, 8, count);
    put(header, 12, originals);
    put(header, 16, translated);
    QByteArray originalTable(8 * count, '\0'), translatedTable(8 * count, '\0');
    qsizetype i = 0;
    for (auto it = translations.cbegin(); it != translations.cend(); ++it, ++i) {
        for (auto [table, text] :
             {std::pair{&originalTable, it.key()}, std::pair{&translatedTable, it.value()}}) {
            put(*table, 8 * i, quint32(text.toUtf8().size()));
            put(*table, 8 * i + 4, start + quint32(strings.size()));
            strings += text.toUtf8() + '\0';
        }
    }
    return header + originalTable + translatedTable + strings;
}

class ScreenshotPreferencesTest : public ::testing::Test
{
protected:
    QTemporaryDir root;
    FakeProcessRunner runner;

    QString home() const { return root.filePath("HOMEbase"); }
    QString path(const QString &relative) const { return home() + '/' + relative; }
    ScreenshotEnvironment environment(QStringList languages = {}) const
    {
        return {home(), path(".config"), root.filePath("bin"), root.filePath("locale"), languages};
    }
    void install(const QString &program) const { writeProgram(root.filePath("bin/" + program)); }
    void write(const QString &file, const QByteArray &bytes) const
    {
        ASSERT_TRUE(replaceFile(file.startsWith('/') ? file : path(file), bytes));
    }
    QString folder(const QString &relative) const
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }
    QByteArray read(const QString &relative) const
    {
        return readSmallFile(path(relative)).value_or("(none)");
    }
};

struct UserDirsCase
{
    const char *name;
    QByteArray line; // "~" stands for the temporary home
    const char *expected;
};

class PicturesFolderTest : public ScreenshotPreferencesTest,
                           public ::testing::WithParamInterface<UserDirsCase>
{};

TEST_P(PicturesFolderTest, ReadsUserDirsAndExpandsOnlyAWholeHome)
{
    write(".config/user-dirs.dirs",
          "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n" + GetParam().line +
              "\n");
    SystemScreenshotPreferences preferences(runner, environment());
    EXPECT_EQ(preferences.picturesFolder(), QString(GetParam().expected).replace("~", home()));
}

INSTANTIATE_TEST_SUITE_P(
    Values, PicturesFolderTest,
    ::testing::Values(UserDirsCase{"localised", "XDG_PICTURES_DIR=\"$HOME/Bilder\"", "~/Bilder"},
                      UserDirsCase{"absolute", "XDG_PICTURES_DIR=\"/srv/pics/\"", "/srv/pics"},
                      UserDirsCase{"homeItself", "XDG_PICTURES_DIR=\"$HOME\"", "~"},
                      UserDirsCase{"escaped", R"(XDG_PICTURES_DIR="$HOME/My \"Pics\"")", "~/My \"Pics\""},
                      UserDirsCase{"longerVariable", "XDG_PICTURES_DIR=\"$HOMEWORK/x\"", "~/Pictures"},
                      UserDirsCase{"unquoted", "XDG_PICTURES_DIR=$HOME/Bilder", "~/Pictures"},
                      UserDirsCase{"relative", "XDG_PICTURES_DIR=\"Bilder\"", "~/Pictures"},
                      UserDirsCase{"commented", "#XDG_PICTURES_DIR=\"$HOME/Bilder\"", "~/Pictures"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScreenshotPreferencesTest, FoldersComeFromEachInstalledToolThenTheDefaultsWithoutRepeats)
{
    for (const char *program : {"gnome-screenshot", "spectacle", "xfce4-screenshooter", "flameshot"})
        install(program);
    write(".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    runner.scriptExit(readGnomeFolder, 0,
                      "'file://" + folder("Gnome shots").toUtf8().replace(" ", "%20") + "/'\n");
    write(".config/spectaclerc", "[Save]\ndefaultSaveLocation=file://" + folder("Bilder").toUtf8() + "/\n");
    write(".config/xfce4/xfce4-screenshooter",
          "app=none\nscreenshot_dir=file:" + folder("Xfce").toUtf8() + "\n");
    write(".config/flameshot/flameshot.ini", "[General]\nsavePath=\"~/Flame\"\n");
    folder("Flame");
    folder("Pictures/Screenshots");

    SystemScreenshotPreferences preferences(runner, environment());
    EXPECT_EQ(preferences.screenshotFolders(),
              (QStringList{path("Gnome shots"), path("Bilder"), path("Xfce"), path("Flame"), path("Desktop"),
                           path("Bilder/Screenshots"), path("Pictures/Screenshots")}));

    // Settings naming what is no folder, or that cannot be read, leave the defaults.
    runner.scriptExit(readGnomeFolder, 1);
    write(".config/spectaclerc", "[Save]\ndefaultSaveLocation=file:///nowhere/\n");
    write(".config/flameshot/flameshot.ini", "[General]\nsavePath=Flame\n");
    QDir(path(".config/xfce4")).removeRecursively();
    QDir().mkpath(path(".config/xfce4/xfce4-screenshooter"));
    EXPECT_EQ(preferences.screenshotFolders(),
              (QStringList{path("Desktop"), path("Bilder"), path("Bilder/Screenshots"),
                           path("Pictures/Screenshots")}));

    // A tool that is not installed is not asked, and its leftover settings are not followed.
    runner.callLog.clear();
    SystemScreenshotPreferences none(runner, {home(), path(".config"), root.filePath("empty"), {}, {}});
    EXPECT_EQ(none.toolScreenshotFolders(), QStringList{});
    EXPECT_TRUE(runner.callLog.isEmpty());
}

TEST_F(ScreenshotPreferencesTest, NamesAndTheScreenshotFolderFollowTheUsersLanguage)
{
    QDir().mkpath(root.filePath("locale/de/LC_MESSAGES"));
    write(root.filePath("locale/de/LC_MESSAGES/gnome-shell.mo"),
          catalogue({{"Screenshots", "Bildschirmfotos"}, {"Screenshot from %s", "Bildschirmfoto vom %s"}}));
    write(root.filePath("locale/de/LC_MESSAGES/xfce4-screenshooter.mo"),
          catalogue({{"Screenshot", "Bildschirmfoto"}}));

    SystemScreenshotPreferences german(runner, environment({"de_DE", "de"}));
    EXPECT_EQ(german.screenshotsFolderName(), "Bildschirmfotos");
    const ScreenshotFileNames names = german.screenshotFileNames();
    EXPECT_EQ(names.translatedPrefixes(), (QStringList{"bildschirmfoto vom ", "bildschirmfoto_"}));
    EXPECT_TRUE(names.matches("/p/Bildschirmfoto vom 2026-12-08 02-47-25.png"));
    EXPECT_TRUE(names.matches("/p/Bildschirmfoto_2026-12-08_02-54-22.jpg"));
    EXPECT_FALSE(names.matches("/p/Bildschirmfotoalbum.png"));
    EXPECT_FALSE(names.matches("/p/Bildschirmfoto vom 2026-12-08.gif"));

    // The first catalogue found decides, translated or not; under the C locale nothing is translated.
    QDir().mkpath(root.filePath("locale/fr/LC_MESSAGES"));
    write(root.filePath("locale/fr/LC_MESSAGES/gnome-shell.mo"), catalogue({{"Other", "Autre"}}));
    EXPECT_EQ(SystemScreenshotPreferences(runner, environment({"fr", "de"})).screenshotsFolderName(),
              "Screenshots");
    EXPECT_EQ(SystemScreenshotPreferences(runner, environment()).screenshotFileNames().translatedPrefixes(),
              QStringList{});

    // A translation that would lead out of the pictures folder, and broken catalogues, are not used.
    write(root.filePath("locale/de/LC_MESSAGES/gnome-shell.mo"), catalogue({{"Screenshots", "../etc"}}));
    EXPECT_EQ(german.screenshotsFolderName(), "Screenshots");
    const QByteArray good = catalogue({{"Screenshots", "Bildschirmfotos"}});
    QByteArray farOffset = good;
    qToLittleEndian<quint32>(0x7fffffff, farOffset.data() + 28 + 8 + 4);
    for (const QByteArray &broken : {good.left(30), farOffset, QByteArray(40, '\x11')})
        EXPECT_EQ(messageTranslation(broken, "Screenshots"), std::nullopt);
    EXPECT_EQ(messageTranslation(good, "Screenshots"), "Bildschirmfotos");

    EXPECT_EQ(gettextLanguages("", "", "", "de_DE.UTF-8@euro"),
              (QStringList{"de_DE@euro", "de_DE", "de@euro", "de"}));
    EXPECT_EQ(gettextLanguages("fr:de", "", "de_AT.UTF-8", "en_US"), (QStringList{"fr", "de"}));
    EXPECT_EQ(gettextLanguages("fr", "C.UTF-8", "", "de_DE"), QStringList{});
}

TEST_F(ScreenshotPreferencesTest, TheToolsDefaultNamesCountAndLookalikesDoNot)
{
    const ScreenshotFileNames names;
    for (const char *name :
         {"Screenshot from 2026-12-08 02-47-25.png", "Screenshot_20261208_033215.png",
          "Screenshot_2026-12-08_02-54-22.png", "2026-12-08_02-55.png", "2026-12-08_02-55_1.png",
          "2026-12-08-033053_1920x1080_scrot.png", "2026-12-08-033053_1920x1080_scrot_000.png"})
        EXPECT_TRUE(names.matches(QString("/p/") + name)) << name;
    for (const char *name :
         {"2026-12-08_02-55.jpg", "2026-12-08_02-55.png.part", "holiday 2026-12-08_02-55.png",
          "2026-12-08-033053_scrot.png", "2026-12-08-033053_1920x1080_scrot.gif"})
        EXPECT_FALSE(names.matches(QString("/p/") + name)) << name;
}

TEST_F(ScreenshotPreferencesTest, WithoutAConfigurableToolTarnosOwnCopyIsWhatHolds)
{
    install("flameshot");
    SystemScreenshotPreferences preferences(runner, environment());
    EXPECT_EQ(preferences.configurableTools(), QStringList{});
    const ScreenshotClipboardStatus status = preferences.enableClipboardScreenshots();
    EXPECT_TRUE(status.applied());
    EXPECT_EQ(status.configuredTools, QStringList{});
    EXPECT_TRUE(runner.callLog.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path(".config")));
}

TEST_F(ScreenshotPreferencesTest, SpectacleIsSetInPlaceKeepingEverythingElse)
{
    install("spectacle");
    const QByteArray before = "# mine\n[General]\nonLaunchAction=UseLastUsedCapturemode\n\n[Save]\n"
                              "defaultSaveLocation=file:///x/\n";
    write(".config/spectaclerc", before);
    SystemScreenshotPreferences preferences(runner, environment());
    EXPECT_EQ(preferences.clipboardScreenshotStatus().problem, "Could not apply — try toggling off and on");

    runner.scriptExit(findSpectacle, 1);
    ScreenshotClipboardStatus status = preferences.enableClipboardScreenshots();
    EXPECT_TRUE(status.applied()) << status.problem.toStdString();
    EXPECT_EQ(status.configuredTools, QStringList{"Spectacle"});
    EXPECT_EQ(
        read(".config/spectaclerc"),
        "# mine\n[General]\nonLaunchAction=UseLastUsedCapturemode\nclipboardGroup=PostScreenshotCopyImage\n\n"
        "[Save]\ndefaultSaveLocation=file:///x/\n");

    // Once set, nothing more is run or written; a value changed elsewhere is replaced where it stands.
    runner.callLog.clear();
    EXPECT_TRUE(preferences.enableClipboardScreenshots().applied());
    EXPECT_TRUE(runner.callLog.isEmpty());
    write(".config/spectaclerc", "[General]\nclipboardGroup=PostScreenshotDoNothing\nx=1\n");
    EXPECT_TRUE(preferences.enableClipboardScreenshots().applied());
    EXPECT_EQ(read(".config/spectaclerc"), "[General]\nclipboardGroup=PostScreenshotCopyImage\nx=1\n");

    // With no file yet, one is made.
    QDir(path(".config")).removeRecursively();
    EXPECT_TRUE(preferences.enableClipboardScreenshots().applied());
    EXPECT_EQ(read(".config/spectaclerc"), "[General]\nclipboardGroup=PostScreenshotCopyImage\n");
}

struct RefusalCase
{
    const char *name;
    std::optional<QByteArray> config; // none: the settings path is a folder, so it cannot be read
    std::optional<int> pgrepStatus;   // none: pgrep cannot be started
    bool configHomeIsAFile;
    const char *problem;
};

const char *const cannotWrite = "Could not apply — Spectacle's settings could not be written";

class SpectacleRefusalTest : public ScreenshotPreferencesTest,
                             public ::testing::WithParamInterface<RefusalCase>
{};

TEST_P(SpectacleRefusalTest, LeavesTheSettingsAsTheyWereAndSaysWhy)
{
    install("spectacle");
    const RefusalCase &refusal = GetParam();
    if (refusal.configHomeIsAFile)
        write(".config", "not a folder");
    else if (refusal.config)
        write(".config/spectaclerc", *refusal.config);
    else
        folder(".config/spectaclerc");
    if (refusal.pgrepStatus)
        runner.scriptExit(findSpectacle, *refusal.pgrepStatus);

    SystemScreenshotPreferences preferences(runner, environment());
    const ScreenshotClipboardStatus status = preferences.enableClipboardScreenshots();
    EXPECT_FALSE(status.applied());
    EXPECT_EQ(status.problem, refusal.problem);
    EXPECT_EQ(status.configuredTools, QStringList{});
    if (refusal.configHomeIsAFile) {
        EXPECT_EQ(read(".config"), "not a folder");
    } else if (refusal.config) {
        EXPECT_EQ(read(".config/spectaclerc"), *refusal.config);
    }
    EXPECT_EQ(QDir(path(".config")).entryList(QDir::Files | QDir::Hidden).size(), refusal.config ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SpectacleRefusalTest,
    ::testing::Values(RefusalCase{"running", QByteArray("[General]\n"), 0, false,
                                  "Could not apply — close Spectacle, then toggle off and on"},
                      RefusalCase{"unknown", QByteArray("[General]\n"), std::nullopt, false,
                                  "Could not apply — cannot tell whether Spectacle is running"},
                      RefusalCase{"lockedFile", QByteArray("[$i]\n[General]\n"), 1, false, cannotWrite},
                      RefusalCase{"lockedGroup", QByteArray("[General][$i]\nx=1\n"), 1, false, cannotWrite},
                      RefusalCase{"lockedKey",
                                  QByteArray("[General]\nclipboardGroup[$i]=PostScreenshotDoNothing\n"), 1,
                                  false, cannotWrite},
                      RefusalCase{"noFolder", std::nullopt, 1, true, cannotWrite},
                      RefusalCase{"unreadable", std::nullopt, 1, false,
                                  "Could not apply — Spectacle's settings could not be read"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ToolConfigFilesTest, ReadsTheValueFormsTheToolsWrite)
{
    EXPECT_EQ(gvariantString("'file:///tmp/a b'\n"), "file:///tmp/a b");
    EXPECT_EQ(gvariantString(R"("it's \\ \u00e9")"), "it's \\ \u00e9");
    EXPECT_EQ(gvariantString("''"), "");
    for (const char *bad : {"", "'", "'a", "'a'b'", "@ms nothing", "'a\\'"})
        EXPECT_EQ(gvariantString(bad), std::nullopt) << bad;

    const QByteArray ini =
        "top=1\n[General]\nsavePath=\"/a b\\\\c\"\nname=\\x00e9t\\xe9\n[Other]\nsavePath=/no\n";
    EXPECT_EQ(iniValue(ini, "", "top"), "1");
    EXPECT_EQ(iniValue(ini, "General", "savePath"), "/a b\\c");
    EXPECT_EQ(iniValue(ini, "General", "name"), "\u00e9t\u00e9");
    EXPECT_EQ(iniValue(ini, "General", "top"), std::nullopt);
}

} // namespace
