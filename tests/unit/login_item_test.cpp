#include "model/LoginItem.h"
#include "platform/fake/FakeAutostartFolder.h"
#include "platform/fake/FakeFileEvents.h"
#include "platform/fake/ManualRuntime.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace tarno;

namespace {

const QString entryPath = QStringLiteral("/home/user/.config/autostart/org.tarno.Tarno.desktop");

TEST(EntryTest, OnlyAVisibleEnabledApplicationEntryStartsAtLogin)
{
    const QByteArray ours = autostartEntry("/usr/bin/tarno");
    const std::pair<QByteArray, bool> entries[] = {
        {ours, true},
        {ours + "Hidden=true\n", false},
        // Switched off by the desktop.
        {QByteArray(ours).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"),
         false},
        // Hidden in another group only.
        {ours + "[Desktop Action quit]\nHidden=true\n", true},
        {"[Desktop Entry]\nType=Application\nName=Tarno\n", false},
        {"[Desktop Entry]\nType=Link\nExec=tarno\n", false},
        {"", false}};
    for (const auto &[entry, startsAtLogin] : entries)
        EXPECT_EQ(entryStartsAtLogin(entry), startsAtLogin) << entry.toStdString();
}

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
    bool before = false;
    const std::map<Step::Action, std::function<void()>> actions{
        {Step::turnOn, [&] { item.setEnabled(true); }},
        {Step::turnOff, [&] { item.setEnabled(false); }},
        {Step::failChanges, [&] { folder.failure = "Read-only file system"; }},
        {Step::healDisk, [&] { folder.failure.clear(); }},
        {Step::removeByHand,
         [&] {
             folder.entries.remove(LoginItem::entryFileName);
             events.emitPaths({entryPath});
         }},
        {Step::hideByHand,
         [&] {
             folder.entries[LoginItem::entryFileName] += "Hidden=true\n";
             // Another file's event first: only the entry's own makes it look again.
             events.emitPaths({"/home/user/.config/autostart/other.desktop"});
             runtime.runUntilIdle();
             EXPECT_EQ(item.isEnabled(), before);
             events.emitPaths({entryPath});
         }},
        {Step::openPanel, [&] { item.refresh(); }}};
    for (const Step &step : GetParam().steps) {
        SCOPED_TRACE(testing::Message() << "step " << ++stepNumber);
        QSignalSpy changed(&item, &LoginItem::enabledChanged);
        before = item.isEnabled();
        actions.at(step.action)();
        runtime.runUntilIdle();
        EXPECT_EQ(item.isEnabled(), step.shown);
        EXPECT_EQ(folder.entries.contains(LoginItem::entryFileName), step.onDisk);
        EXPECT_EQ(item.status().left(int(qstrlen(step.status))), step.status) << item.status().toStdString();
        EXPECT_EQ(item.status().isEmpty(), !*step.status);
        // Told exactly when the row's state really moved.
        EXPECT_EQ(changed.size(), before != item.isEnabled() ? 1 : 0);
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
