#include "model/GleanerySettings.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/qt/JsonFileStore.h"
#include "tests/support/TestData.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tarno;

namespace {

const QString policyKey = "gleanery.retentionPolicy";
const QString clipboardKey = "gleanery.screenshotsUseClipboard";

// --- The settings object over the fake store -------------------------------------------------------

class SettingsTest : public ::testing::Test
{
protected:
    FakeKeyValueStore store;
    int enableCalls = 0;
    bool enableResult = true;
    // What the store's log held at the moment the enable operation ran.
    QStringList logWhenEnabled;
    QStringList events;

    std::unique_ptr<GleanerySettings> make()
    {
        auto settings = std::make_unique<GleanerySettings>(store, [this] {
            ++enableCalls;
            logWhenEnabled = store.writeLog;
            events << "enable";
            return enableResult;
        });
        GleanerySettings *s = settings.get();
        QObject::connect(s, &GleanerySettings::retentionPolicyAboutToChange,
                         [this] { events << "policy-will"; });
        QObject::connect(s, &GleanerySettings::retentionPolicyChanged,
                         [this, s] { events << "policy-did " + rawValue(s->retentionPolicy()); });
        QObject::connect(s, &GleanerySettings::screenshotsUseClipboardAboutToChange,
                         [this] { events << "clipboard-will"; });
        QObject::connect(s, &GleanerySettings::screenshotsUseClipboardChanged, [this, s] {
            events << QString("clipboard-did %1").arg(s->screenshotsUseClipboard());
        });
        return settings;
    }
};

TEST_F(SettingsTest, FirstLaunchUsesDefaultsAndWritesNothing)
{
    auto settings = make();
    EXPECT_EQ(settings->retentionPolicy(), HistoryRetentionPolicy::keepForever);
    EXPECT_TRUE(settings->screenshotsUseClipboard());
    EXPECT_TRUE(store.writeLog.isEmpty());
    EXPECT_EQ(enableCalls, 0);
}

struct PolicyCase
{
    QJsonValue stored;
    HistoryRetentionPolicy expected;
};

class StoredPolicyTest : public SettingsTest, public ::testing::WithParamInterface<PolicyCase>
{};

TEST_P(StoredPolicyTest, LoadsOnlyExactRawValues)
{
    store.values.insert(policyKey, GetParam().stored);
    EXPECT_EQ(make()->retentionPolicy(), GetParam().expected);
    EXPECT_TRUE(store.writeLog.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Values, StoredPolicyTest,
                         ::testing::Values(PolicyCase{"daily", HistoryRetentionPolicy::daily},
                                           PolicyCase{"weekly", HistoryRetentionPolicy::weekly},
                                           PolicyCase{"keepForever", HistoryRetentionPolicy::keepForever},
                                           PolicyCase{"Weekly", HistoryRetentionPolicy::keepForever},
                                           PolicyCase{"weekly ", HistoryRetentionPolicy::keepForever},
                                           PolicyCase{7, HistoryRetentionPolicy::keepForever},
                                           PolicyCase{QJsonArray{"daily"},
                                                      HistoryRetentionPolicy::keepForever}));

struct FlagCase
{
    QJsonValue stored;
    bool expected;
};

class StoredFlagTest : public SettingsTest, public ::testing::WithParamInterface<FlagCase>
{};

// A present key is read as a boolean whatever it holds; only absence gives the true default.
TEST_P(StoredFlagTest, PresentKeyIsReadAsBoolean)
{
    store.values.insert(clipboardKey, GetParam().stored);
    EXPECT_EQ(make()->screenshotsUseClipboard(), GetParam().expected);
    EXPECT_EQ(enableCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(Values, StoredFlagTest,
                         ::testing::Values(FlagCase{false, false}, FlagCase{true, true}, FlagCase{0, false},
                                           FlagCase{0.5, true}, FlagCase{"YES", true},
                                           FlagCase{"  true", true}, FlagCase{"007", true},
                                           FlagCase{"-1", true}, FlagCase{"+0", false},
                                           FlagCase{"false", false}, FlagCase{"", false},
                                           FlagCase{QJsonValue::Null, false},
                                           FlagCase{QJsonArray{true}, false}));

TEST_F(SettingsTest, PolicyAssignmentNotifiesOnlyOnChangeButAlwaysWrites)
{
    store.values.insert(policyKey, "weekly");
    auto settings = make();
    QObject::connect(settings.get(), &GleanerySettings::retentionPolicyChanged,
                     [this] { events << QString("log %1").arg(store.writeLog.size()); });

    settings->setRetentionPolicy(HistoryRetentionPolicy::weekly);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(store.writeLog, QStringList{"string gleanery.retentionPolicy=weekly"});

    settings->setRetentionPolicy(HistoryRetentionPolicy::daily);
    // Stored and announced first, then written.
    EXPECT_EQ(events, (QStringList{"policy-will", "policy-did daily", "log 1"}));
    EXPECT_EQ(store.writeLog.last(), "string gleanery.retentionPolicy=daily");
    EXPECT_EQ(store.values.value(policyKey), "daily");
    EXPECT_EQ(enableCalls, 0);
}

TEST_F(SettingsTest, FlagNotifiesOnlyOnChangeAndOnlyTrueEnablesAfterTheWriteEachTime)
{
    enableResult = false;
    auto settings = make();
    settings->setScreenshotsUseClipboard(false);
    settings->setScreenshotsUseClipboard(false);
    EXPECT_EQ(events, (QStringList{"clipboard-will", "clipboard-did 0"}));
    EXPECT_EQ(store.writeLog, (QStringList{"bool gleanery.screenshotsUseClipboard=false",
                                           "bool gleanery.screenshotsUseClipboard=false"}));
    EXPECT_EQ(enableCalls, 0);

    events.clear();
    store.writeLog.clear();
    settings->setScreenshotsUseClipboard(true);
    EXPECT_EQ(events, (QStringList{"clipboard-will", "clipboard-did 1", "enable"}));
    EXPECT_EQ(logWhenEnabled, QStringList{"bool gleanery.screenshotsUseClipboard=true"});
    EXPECT_TRUE(settings->screenshotsUseClipboard()) << "the enable operation's result is ignored";

    // Again true: nobody is notified, but the write and the enable operation both happen again.
    events.clear();
    settings->setScreenshotsUseClipboard(true);
    EXPECT_EQ(events, QStringList{"enable"});
    EXPECT_EQ(store.writeLog.size(), 2);
    EXPECT_EQ(enableCalls, 2);
}

TEST_F(SettingsTest, FailedWritesKeepTheValueForTheRunAndAbsentOperationIsSkipped)
{
    store.failWrites = true;
    GleanerySettings settings(store, {});
    settings.setRetentionPolicy(HistoryRetentionPolicy::daily);
    settings.setScreenshotsUseClipboard(false);
    settings.setScreenshotsUseClipboard(true);
    EXPECT_EQ(settings.retentionPolicy(), HistoryRetentionPolicy::daily);
    EXPECT_TRUE(settings.screenshotsUseClipboard());
    EXPECT_EQ(store.writeLog.size(), 3);
    EXPECT_TRUE(store.values.isEmpty());
}

// --- The file-backed store ------------------------------------------------------------------------

class JsonFileStoreTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("config/tarno/settings.json"); }

    void writeFile(const QByteArray &bytes) { tarno::writeFile(path(), bytes); }
    QByteArray readFile() const { return tarno::readFile(path()); }
    QStringList folderEntries() const
    {
        return QDir(QFileInfo(path()).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(JsonFileStoreTest, ValuesSurviveARestartInAnOwnerOnlyFile)
{
    {
        JsonFileStore store(path());
        EXPECT_FALSE(store.contains("k"));
        store.setString("gleanery.retentionPolicy", "weekly");
        store.setBool("flag", false);
        EXPECT_TRUE(store.contains("flag"));
        EXPECT_FALSE(store.boolValue("flag"));
        EXPECT_EQ(store.stringValue("gleanery.retentionPolicy"), QString("weekly"));
    }
    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(folderEntries(), QStringList{"settings.json"}); // no temporary file left behind

    JsonFileStore again(path());
    EXPECT_EQ(again.stringValue("gleanery.retentionPolicy"), QString("weekly"));
    EXPECT_TRUE(again.contains("flag"));
    EXPECT_FALSE(again.boolValue("flag"));
    EXPECT_EQ(again.stringValue("flag"), std::nullopt); // a boolean is not a string
    EXPECT_EQ(again.stringValue("missing"), std::nullopt);
}

TEST_F(JsonFileStoreTest, ExistingLooseFileIsTightenedAndForeignKeysAreKept)
{
    writeFile(R"({"other": [1, 2], "n": 3})");
    ::chmod(QFile::encodeName(path()).constData(), 0644);
    JsonFileStore store(path());
    EXPECT_TRUE(store.boolValue("n"));
    store.setBool("flag", true);

    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const QJsonObject object = QJsonDocument::fromJson(readFile()).object();
    EXPECT_EQ(object.value("other"), (QJsonArray{1, 2}));
    EXPECT_EQ(object.value("n"), 3);
    EXPECT_EQ(object.value("flag"), true);
}

TEST_F(JsonFileStoreTest, UnusableFilesReadAsEmptyAndAreReplacedOnWrite)
{
    const QList<QByteArray> contents{
        "", "{", "[1, 2]", "null", QByteArray("\x00\xff\xfe", 3), R"({"a": 1} trailing)"};
    for (const QByteArray &bytes : contents) {
        SCOPED_TRACE(bytes.toStdString());
        writeFile(bytes);
        JsonFileStore store(path());
        EXPECT_FALSE(store.contains("a"));
        store.setString("a", "b");
        EXPECT_EQ(JsonFileStore(path()).stringValue("a"), QString("b"));
        QFile::remove(path());
    }
}

TEST_F(JsonFileStoreTest, PathThatIsNoFileReadsEmptyAndWritesFailQuietly)
{
    // A folder where the file should be.
    QDir().mkpath(path());
    JsonFileStore folder(path());
    EXPECT_FALSE(folder.contains("a"));
    folder.setString("a", "b");
    EXPECT_EQ(folder.stringValue("a"), QString("b"));
    EXPECT_TRUE(QFileInfo(path()).isDir());

    // A file where a parent folder should be.
    tarno::writeFile(dir.filePath("blocker"));
    JsonFileStore underFile(dir.filePath("blocker/tarno/settings.json"));
    underFile.setBool("a", true);
    EXPECT_TRUE(underFile.boolValue("a"));
    EXPECT_TRUE(QFileInfo(dir.filePath("blocker")).isFile());
}

// Neither a pipe nor a huge file is read: construction must not block or swallow memory.
TEST_F(JsonFileStoreTest, PipesAndOversizedFilesReadAsEmpty)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    EXPECT_FALSE(JsonFileStore(path()).contains("a"));
    QFile::remove(path());

    writeFile("{\"a\": \"" + QByteArray(2 << 20, 'x') + "\"}");
    EXPECT_FALSE(JsonFileStore(path()).contains("a"));
}

// A disk that refuses the new bytes, modelled by a file-size limit smaller than the new content.
TEST_F(JsonFileStoreTest, WriteThatCannotCompleteLeavesTheOldFileIntact)
{
    writeFile(R"({"a": "b"})");
    const QByteArray before = readFile();
    JsonFileStore store(path());

    struct rlimit saved
    {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store.setString("long", QString(200, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(readFile(), before);
    EXPECT_EQ(folderEntries(), QStringList{"settings.json"});
    EXPECT_EQ(store.stringValue("long"), QString(200, 'x')); // still there for the rest of the run

    store.setString("short", "ok"); // the next write that fits carries everything
    JsonFileStore again(path());
    EXPECT_EQ(again.stringValue("long"), QString(200, 'x'));
    EXPECT_EQ(again.stringValue("short"), QString("ok"));
}

TEST_F(JsonFileStoreTest, DefaultPathFollowsTheConfigFolderRules)
{
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(dir.path()));

    qputenv("XDG_CONFIG_HOME", "/somewhere/config");
    EXPECT_EQ(JsonFileStore::defaultPath(), "/somewhere/config/tarno/settings.json");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(JsonFileStore::defaultPath(), dir.path() + "/.config/tarno/settings.json");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(JsonFileStore::defaultPath(), dir.path() + "/.config/tarno/settings.json");

    qputenv("HOME", savedHome);
    if (hadXdg)
        qputenv("XDG_CONFIG_HOME", savedXdg);
}

} // namespace
