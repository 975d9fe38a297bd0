#include "model/LoginItem.h"
#include "platform/fake/FakeAutostartFolder.h"
#include "platform/fake/FakeFileEvents.h"
#include "platform/fake/ManualRuntime.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

const QString entryPath = QStringLiteral("/home/user/.config/autostart/org.tarno.Tarno.desktop");

struct EntryCase
{
    const char *name;
    QByteArray entry;
    bool startsAtLogin;
};

class EntryTest : public ::testing::TestWithParam<EntryCase>
{};

TEST_P(EntryTest, OnlyAVisibleEnabledApplicationEntryStartsAtLogin)
{
    EXPECT_EQ(entryStartsAtLogin(GetParam().entry), GetParam().startsAtLogin);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, EntryTest,
    ::testing::Values(
        EntryCase{"ours", autostartEntry("/usr/bin/tarno"), true},
        EntryCase{"hidden", autostartEntry("/usr/bin/tarno") + "Hidden=true\n", false},
        EntryCase{"switchedOffByTheDesktop",
                  QByteArray(autostartEntry("/usr/bin/tarno"))
                      .replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"),
                  false},
        EntryCase{"hiddenInAnotherGroupOnly",
                  autostartEntry("/usr/bin/tarno") + "[Desktop Action quit]\nHidden=true\n", true},
        EntryCase{"noExec", "[Desktop Entry]\nType=Application\nName=Tarno\n", false},
        EntryCase{"aLink", "[Desktop Entry]\nType=Link\nExec=tarno\n", false}, EntryCase{"empty", "", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(AutostartEntryTest, ExecNamesTheProgramQuotedWhereTheFormatAsks)
{
    const auto execLine = [](const QString &program) {
        for (const QByteArray &line : autostartEntry(program).split('\n')) {
            if (line.startsWith("Exec="))
                return QString::fromUtf8(line.mid(5));
        }
        return QString();
    };
    EXPECT_EQ(execLine("/usr/bin/tarno"), "/usr/bin/tarno");
    EXPECT_EQ(execLine("/home/me/my builds/tarno"), R"("/home/me/my builds/tarno")");
    EXPECT_EQ(execLine("/opt/100%/tarno"), "/opt/100%%/tarno");
    EXPECT_EQ(execLine("/opt/a$b/tarno"), R"("/opt/a\\$b/tarno")");
}

// Each step is what the user or the disk does, then what the row shows.
struct Step
{
    enum Action
    {
        turnOn,
        turnOff,
        failChanges,
        healDisk,
        removeByHand,
        hideByHand,
        openPanel
    } action;
    bool shown;
    bool onDisk;
    // The start of the status line; empty for none.
    const char *status = "";
};

struct StoryCase
{
    const char *name;
    bool startsOnDisk;
    std::vector<Step> steps;
};

class LoginItemTest : public ::testing::TestWithParam<StoryCase>
{};

TEST_P(LoginItemTest, ShowsWhatIsOnDiskAndAFailedChangeChangesNothing)
{
    ManualRuntime runtime;
    FakeAutostartFolder folder;
    FakeFileEvents events;
    if (GetParam().startsOnDisk)
        folder.entries.insert(LoginItem::entryFileName, autostartEntry(folder.program));
    LoginItem item(folder, &events, runtime.mainQueue());
    ASSERT_EQ(events.watchedFolders(), QStringList{folder.path()});
    EXPECT_EQ(item.isEnabled(), GetParam().startsOnDisk);

    int stepNumber = 0;
    for (const Step &step : GetParam().steps) {
        ++stepNumber;
        QSignalSpy changed(&item, &LoginItem::enabledChanged);
        const bool before = item.isEnabled();
        switch (step.action) {
        case Step::turnOn:
            item.setEnabled(true);
            break;
        case Step::turnOff:
            item.setEnabled(false);
            break;
        case Step::failChanges:
            folder.failure = "Read-only file system";
            break;
        case Step::healDisk:
            folder.failure.clear();
            break;
        case Step::removeByHand:
            folder.entries.remove(LoginItem::entryFileName);
            events.emitPaths({entryPath});
            break;
        case Step::hideByHand:
            folder.entries[LoginItem::entryFileName] += "Hidden=true\n";
            // Another file's event first: only the entry's own makes it look again.
            events.emitPaths({"/home/user/.config/autostart/other.desktop"});
            runtime.runUntilIdle();
            EXPECT_EQ(item.isEnabled(), before) << "step " << stepNumber;
            events.emitPaths({entryPath});
            break;
        case Step::openPanel:
            item.refresh();
            break;
        }
        runtime.runUntilIdle();
        EXPECT_EQ(item.isEnabled(), step.shown) << "step " << stepNumber;
        EXPECT_EQ(folder.entries.contains(LoginItem::entryFileName), step.onDisk) << "step " << stepNumber;
        EXPECT_EQ(item.status().left(int(qstrlen(step.status))), step.status)
            << "step " << stepNumber << ": " << item.status().toStdString();
        EXPECT_EQ(item.status().isEmpty(), !*step.status) << "step " << stepNumber;
        // Told exactly when the row's state really moved.
        EXPECT_EQ(changed.size(), before != item.isEnabled() ? 1 : 0) << "step " << stepNumber;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stories, LoginItemTest,
    ::testing::Values(
        StoryCase{"onThenOffAgain",
                  false,
                  {{Step::turnOn, true, true}, {Step::turnOn, true, true}, {Step::turnOff, false, false}}},
        StoryCase{"removedByHandWhileShown", true, {{Step::removeByHand, false, false}}},
        StoryCase{"hiddenByHandThenTurnedOnAgain",
                  true,
                  {{Step::hideByHand, false, true}, {Step::turnOn, true, true}}},
        StoryCase{"readOnlyDiskKeepsOffAndSaysWhyUntilAChangeTakes",
                  false,
                  {{Step::failChanges, false, false},
                   {Step::turnOn, false, false, "Could not turn on: Read-only file system"},
                   {Step::openPanel, false, false, "Could not turn on"},
                   {Step::healDisk, false, false, "Could not turn on"},
                   {Step::turnOn, true, true}}},
        StoryCase{"fullDiskKeepsTheEntry",
                  true,
                  {{Step::failChanges, true, true},
                   {Step::turnOff, true, true, "Could not turn off: Read-only file system"}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LoginItemWriteTest, TheEntryWrittenStartsThisProgram)
{
    ManualRuntime runtime;
    FakeAutostartFolder folder;
    folder.program = "/home/me/build/shell/tarno";
    LoginItem item(folder, nullptr, runtime.mainQueue());
    item.setEnabled(true);
    const QByteArray entry = folder.entries.value(LoginItem::entryFileName);
    EXPECT_TRUE(entry.contains("\nExec=/home/me/build/shell/tarno\n")) << entry.toStdString();
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\n"));
}

} // namespace
