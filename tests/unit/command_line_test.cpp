#include "platform/qt/SingleInstanceLock.h"
#include "shell/CommandLine.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

using Action = CommandLine::Action;
using Step = LaunchPlan::Step;

struct ParseCase
{
    const char *name;
    QStringList arguments;
    Action action;
    // A piece of the text printed, when there is one.
    const char *says = "";
};

class ParseTest : public ::testing::TestWithParam<ParseCase>
{};

TEST_P(ParseTest, EachCommandLineAsksForOneThing)
{
    const CommandLine parsed = parseCommandLine(QStringList{"/usr/bin/tarno"} + GetParam().arguments);
    EXPECT_EQ(parsed.action, GetParam().action);
    EXPECT_TRUE(parsed.text.contains(GetParam().says)) << parsed.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseTest,
    ::testing::Values(ParseCase{"none", {}, Action::run}, ParseCase{"toggle", {"--toggle"}, Action::toggle},
                      ParseCase{"show", {"--show"}, Action::show},
                      ParseCase{"quit", {"--quit"}, Action::quit},
                      ParseCase{"help", {"--help"}, Action::help, "Usage: tarno [options]"},
                      ParseCase{"helpListsTheActions", {"-h"}, Action::help, "--toggle"},
                      ParseCase{"version", {"--version"}, Action::version, "tarno 0.1.0"},
                      ParseCase{
                          "unknownOption", {"--frobnicate"}, Action::invalid, "Unknown option 'frobnicate'"},
                      ParseCase{"positional", {"file.txt"}, Action::invalid, "file.txt"},
                      ParseCase{"twoActions", {"--show", "--quit"}, Action::invalid, "only one"},
                      ParseCase{"valueForAFlag", {"--show=yes"}, Action::invalid, "show"}),
    [](const auto &info) { return std::string(info.param.name); });

struct PlanCase
{
    const char *name;
    Action action;
    bool anotherRunning;
    Step step;
    bool showWhenPlaced;
    int status;
};

class PlanTest : public ::testing::TestWithParam<PlanCase>
{};

TEST_P(PlanTest, ALaunchStartsForwardsOrEnds)
{
    const LaunchPlan plan = planLaunch(GetParam().action, GetParam().anotherRunning);
    EXPECT_EQ(plan.step, GetParam().step);
    EXPECT_EQ(plan.showWhenPlaced, GetParam().showWhenPlaced);
    if (plan.step == Step::exit) {
        EXPECT_EQ(plan.status, GetParam().status);
    }
    // Only an end with a failure says why, in one line.
    EXPECT_EQ(!plan.message.isEmpty(), plan.status != 0 && plan.status != 2);
    EXPECT_FALSE(plan.message.contains('\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Launches, PlanTest,
    ::testing::Values(PlanCase{"runAlone", Action::run, false, Step::start, false, 0},
                      PlanCase{"runBeside", Action::run, true, Step::exit, false, 0},
                      PlanCase{"toggleAlone", Action::toggle, false, Step::start, true, 0},
                      PlanCase{"toggleBeside", Action::toggle, true, Step::forward, false, 0},
                      PlanCase{"showAlone", Action::show, false, Step::start, true, 0},
                      PlanCase{"showBeside", Action::show, true, Step::forward, false, 0},
                      PlanCase{"quitAlone", Action::quit, false, Step::exit, false, 1},
                      PlanCase{"quitBeside", Action::quit, true, Step::forward, false, 0},
                      PlanCase{"invalidBeside", Action::invalid, true, Step::exit, false, 2}),
    [](const auto &info) { return std::string(info.param.name); });

struct DisplayCase
{
    const char *name;
    QString x11;
    QString wayland;
    QString key;
};

class DisplayTest : public ::testing::TestWithParam<DisplayCase>
{};

TEST_P(DisplayTest, EachDisplayHasItsOwnLockAndBusName)
{
    const QString key = displayInstanceKey(GetParam().x11, GetParam().wayland);
    EXPECT_EQ(key, GetParam().key);
    EXPECT_TRUE(SingleInstanceLock::pathFor(key).endsWith("-" + key + ".lock"));
    // Elements of a bus name: letters, digits and underscores, never a digit first.
    EXPECT_TRUE(QRegularExpression(R"(^org\.tarno\.Tarno\.[A-Za-z_][A-Za-z0-9_]*$)")
                    .match(controlServiceName(key))
                    .hasMatch())
        << controlServiceName(key).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Displays, DisplayTest,
    ::testing::Values(DisplayCase{"x11", ":62", "", "x62"},
                      DisplayCase{"x11ScreenIsTheSameDisplay", ":62.0", "", "x62"},
                      DisplayCase{"x11OverTheLocalSocket", "unix:3", "wayland-0", "x3"},
                      DisplayCase{"x11OfAnotherHost", "build-box:10.0", "", "build_box_x10"},
                      DisplayCase{"waylandOnly", "", "wayland-1", "wayland_1"},
                      DisplayCase{"waylandByPath", "", "/run/user/1000/wayland-2", "wayland_2"},
                      DisplayCase{"waylandOfDigits", "", "7", "_7"}, DisplayCase{"none", "", "", "none"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
