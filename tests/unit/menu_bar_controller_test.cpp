#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "platform/api/NotificationCenter.h"
#include "platform/fake/FakeApplication.h"
#include "platform/fake/FakeEventMonitors.h"
#include "platform/fake/FakeGlobalShortcut.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakePopover.h"
#include "platform/fake/FakeStatusBar.h"
#include "platform/fake/ManualRuntime.h"
#include "shell/AppDelegate.h"
#include "shell/MenuBarController.h"
#include "shell/MenuBarDropView.h"
#include "shell/PopoverHostController.h"
#include "shell/ShellServices.h"
#include "tests/support/RecordingServices.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShortcutSetting.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

class MenuBarControllerTest : public ::testing::Test
{
public:
    ManualRuntime runtime;
    FakeImageCodec codec;
    FakeKeyValueStore store;
    FakeStatusBar statusBar;
    FakeEventMonitors monitors;
    FakeApplication application;
    FakeGlobalShortcut shortcut;
    NotificationCenter notifications;
    RecordingServices services{runtime};
    FakePopover *popover = nullptr;
    int willCloseCount = 0;
    bool contentFails = false;
    std::unique_ptr<MenuBarController> controller;

    void SetUp() override
    {
        notifications.addObserver(MenuBarController::popoverWillCloseNotification, [this] {
            ++willCloseCount;
            services.log << "willClose";
        });
    }

    MenuBarController &make()
    {
        controller = std::make_unique<MenuBarController>(
            MenuBarController::Environment{runtime, codec, store, statusBar,
                                           [this] {
                                               auto made = std::make_unique<FakePopover>();
                                               made->contentFails = contentFails;
                                               popover = made.get();
                                               services.log << "makePopover";
                                               return made;
                                           },
                                           monitors, application, notifications, services, shortcut});
        services.historySize = [this] { return controller->historyViewModel().items().size(); };
        return *controller;
    }
    MenuBarController &started()
    {
        make().setup();
        return *controller;
    }
    MenuBarDropView &view() { return *controller->menuBarView(); }
    FakeStatusItem &item() { return *statusBar.item; }
    QPointF onStatusItem() const { return statusBar.nextRect.center(); }
    QPointF elsewhere() const { return {100, 700}; }

    // A left click on the status item as the platform delivers it: the local monitors see the
    // mouse-down first, then the view gets it.
    void clickStatusItem()
    {
        monitors.clickHere(onStatusItem());
        view().mouseDown();
    }
    void finishAnimation() { popover->content.finishAnimation(); }
    // A drag leaving and coming back in, as a drag that lingers over the status item does.
    void dragEnters()
    {
        view().draggingExited();
        FakePasteboard drag;
        drag.simulateCopyText("dragged");
        view().draggingEntered(drag);
    }
    void settle()
    {
        finishAnimation();
        runtime.runUntilIdle();
    }
    int monitorPairs() const { return std::min(monitors.globalCount(), monitors.localCount()); }
    std::pair<int, int> monitorCounts() const { return {monitors.globalCount(), monitors.localCount()}; }
};

TEST_F(MenuBarControllerTest, SetupBuildsTheInterfaceBeforeStartingTheServicesInOrderOnce)
{
    MenuBarController &controller = make();
    EXPECT_EQ(controller.statusItem(), nullptr);
    EXPECT_TRUE(services.log.isEmpty());

    controller.setup();
    EXPECT_EQ(services.log, (QStringList{"makePopover", "enableClipboardScreenshots", "startCleanup",
                                         "startMonitor", "startWatcher"}));
    EXPECT_EQ(&item().view, controller.menuBarView());
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(popover->contentSize(), QSizeF(360, 480));
    EXPECT_EQ(monitorCounts(), std::pair(0, 0)) << "clicks are watched only while shown";

    controller.setup();
    EXPECT_EQ(statusBar.madeCount, 1);
    EXPECT_EQ(services.log.count("startMonitor"), 1);
}

TEST_F(MenuBarControllerTest, TeardownStopsServicesInOrderThenClosesAndRemovesTheInterfaceOnce)
{
    // With the setting off, setup leaves the system's screenshot preference alone.
    store.values.insert(GleanerySettings::screenshotsUseClipboardKey, "false");
    MenuBarController &controller = started();
    EXPECT_FALSE(services.log.contains("enableClipboardScreenshots"));
    clickStatusItem();
    runtime.runUntilIdle();
    ASSERT_TRUE(popover->isShown());
    services.log.clear();

    controller.teardown();
    EXPECT_EQ(services.log, (QStringList{"stopWatcher", "stopCleanup", "stopMonitor", "willClose"}));
    EXPECT_EQ(monitorCounts(), std::pair(0, 0));
    EXPECT_EQ(statusBar.removedCount, 1);
    EXPECT_EQ(controller.menuBarView(), nullptr);
    EXPECT_EQ(controller.popover(), nullptr);
    EXPECT_EQ(controller.popoverHost(), nullptr) << "it would drive the content of a popover that is gone";

    services.log.clear();
    controller.teardown();
    runtime.advance(1s);
    EXPECT_TRUE(services.log.isEmpty());
    EXPECT_EQ(statusBar.removedCount, 1);
}

TEST_F(MenuBarControllerTest, CapturesReachTheHistoryOnlyWhileTheControllerLives)
{
    MenuBarController &controller = started();
    services.monitorCallback(ClipboardItem::makeText("copied", runtime.now()));
    services.watcherCallback(ClipboardItem::makeText("shot", runtime.now()));
    ASSERT_EQ(controller.historyViewModel().items().size(), 2);
    EXPECT_EQ(controller.historyViewModel().items().first().text, "shot");

    auto onDrop = view().onDropCaptures;
    controller.teardown();
    this->controller.reset();
    services.monitorCallback(ClipboardItem::makeText("late", runtime.now()));
    onDrop({PasteboardCapture::text("late drop")});
    EXPECT_FALSE(services.log.join(',').contains("pauseMonitor"));
}

TEST_F(MenuBarControllerTest, DropPausesTheMonitorBeforeAddingAndPutsTheLastCaptureFirst)
{
    MenuBarController &controller = started();
    services.log.clear();
    view().onDropCaptures(
        {PasteboardCapture::text("one"), PasteboardCapture::text("two"), PasteboardCapture::text("three")});
    EXPECT_EQ(services.log, QStringList{"pauseMonitor with 0 clips"});
    const auto &items = controller.historyViewModel().items();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].text, "three");
    EXPECT_EQ(items[2].text, "one");

    services.log.clear();
    controller.handleDroppedCaptures({});
    EXPECT_TRUE(services.log.isEmpty());
    EXPECT_EQ(items.size(), 3);
}

TEST_F(MenuBarControllerTest, ShowingPrunesFirstThenAnimatesInAndInstallsOnePairOfMonitors)
{
    MenuBarController &controller = started();
    controller.settings().setRetentionPolicy(HistoryRetentionPolicy::weekly);
    ClipboardItem old = ClipboardItem::makeText("old", runtime.now().addSecs(-604'801));
    ClipboardItem recent = ClipboardItem::makeText("recent", runtime.now().addSecs(-604'000));
    controller.historyViewModel().setItems({recent, old});
    services.log.clear();

    view().mouseDown();
    EXPECT_EQ(services.log, QStringList{"applyRetention"});
    ASSERT_EQ(controller.historyViewModel().items().size(), 1);
    EXPECT_EQ(controller.historyViewModel().items().first().text, "recent");
    EXPECT_TRUE(popover->isShown());
    ASSERT_EQ(popover->shownAnchors.size(), 1);
    EXPECT_EQ(popover->shownAnchors.first(), statusBar.nextRect);

    ASSERT_EQ(popover->content.animations.size(), 1);
    EXPECT_EQ(popover->content.animations.first().alpha, 1.0);
    EXPECT_EQ(popover->content.animations.first().scale, 1.0);
    EXPECT_EQ(popover->content.startingLooks.first(), QPointF(0, 0.97));
    EXPECT_EQ(monitorCounts(), std::pair(1, 1));

    // A drag entering while shown asks again but opens nothing and adds no monitors.
    controller.showPopover();
    EXPECT_EQ(monitorCounts(), std::pair(1, 1));
}

TEST_F(MenuBarControllerTest, ClosingAnimatesOutThenClosesAndTheNextAppearStartsFromTheLookItLeft)
{
    MenuBarController &controller = started();
    // Kept forever, as by default: opening prunes nothing.
    controller.historyViewModel().setItems({ClipboardItem::makeText("ancient", runtime.now().addYears(-3))});
    view().mouseDown();
    EXPECT_EQ(controller.historyViewModel().items().size(), 1);
    settle();
    view().mouseDown();
    EXPECT_EQ(controller.popoverState(), MenuBarController::PopoverState::closing);
    EXPECT_TRUE(popover->isShown());
    EXPECT_EQ(popover->content.animations.last().alpha, 0.0);

    finishAnimation();
    EXPECT_TRUE(popover->isShown()) << "the close waits for the next turn";
    runtime.runUntilIdle();
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(popover->content.alpha(), 0);
    EXPECT_EQ(popover->content.scale(), 0.98);

    view().mouseDown();
    EXPECT_EQ(popover->content.startingLooks.last(), QPointF(0, 0.97));

    // A transient close leaves the content visible, so the next appear only scales.
    settle();
    popover->closeTransiently();
    runtime.runUntilIdle();
    EXPECT_EQ(willCloseCount, 1);
    EXPECT_EQ(monitorCounts(), std::pair(0, 0));
    view().mouseDown();
    EXPECT_EQ(popover->content.startingLooks.last(), QPointF(1, 0.97));
}

TEST_F(MenuBarControllerTest, ContextMenuOffersQuitBelowTheIconAndQuittingTearsDownOnce)
{
    AppDelegate delegate([this] {
        make();
        return std::move(controller);
    });
    delegate.applicationDidFinishLaunching();
    MenuBarController &launched = *delegate.menuBarController();
    application.onTerminate = [&delegate] { delegate.applicationWillTerminate(); };
    auto &view = *launched.menuBarView();
    view.mouseDown();
    view.rightMouseDown();
    EXPECT_TRUE(popover->isShown()) << "the menu neither opens nor closes the popover";
    ASSERT_EQ(item().menuCount, 1);
    ASSERT_EQ(item().menuItems.size(), 2);
    EXPECT_EQ(item().menuItems.last().title, "Quit Tarno");
    EXPECT_EQ(item().menuPoint, QPointF(16, 24));

    item().menuItems.last().action();
    EXPECT_EQ(application.terminateCount, 1);
    EXPECT_EQ(launched.statusItem(), nullptr);
    delegate.applicationWillTerminate();
    EXPECT_EQ(services.log.count("stopWatcher"), 1);
}

TEST_F(MenuBarControllerTest, PauseFromTheMenuIsCheckedAndTheIconTooltipAndPopoverFollowIt)
{
    MenuBarController &controller = started();
    int announced = 0;
    notifications.addObserver(MenuBarController::capturingPausedNotification, [&] { ++announced; });
    const auto choosePause = [this](bool shownChecked) {
        view().rightMouseDown();
        const MenuItem pause = item().menuItems.first();
        EXPECT_EQ(pause.title, "Pause Capturing");
        EXPECT_TRUE(pause.checkable);
        EXPECT_EQ(pause.checked, shownChecked);
        pause.action();
    };
    services.log.clear();
    const int repaints = item().needsDisplayCount;

    choosePause(false);
    EXPECT_TRUE(controller.isCapturingPaused());
    EXPECT_EQ(services.log, QStringList{"setCapturingPaused 1"});
    EXPECT_EQ(announced, 1);
    EXPECT_GT(item().needsDisplayCount, repaints);
    EXPECT_EQ(view().toolTip(), "Tarno — Paused");
    EXPECT_EQ(view().drawing(MenuBarDropView::defaultSize).icon, StatusItemDrawing::Icon::paused);
    // The menu a host reads for itself is the same, as it stands now.
    EXPECT_TRUE(view().menuItems().value(0).checked);

    // Drops are the user's own act and still land.
    view().onDropCaptures({PasteboardCapture::text("dropped while paused")});
    EXPECT_EQ(controller.historyViewModel().items().size(), 1);

    // A menu still open from before asks for what it showed, so it changes nothing now.
    view().rightMouseDown();
    const MenuItem stale = item().menuItems.first();
    controller.setCapturingPaused(true);
    EXPECT_EQ(announced, 1) << "announced without a change";
    choosePause(true);
    EXPECT_FALSE(controller.isCapturingPaused());
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(view().toolTip(), "Tarno — click to open, drag in to save, drag out to use");
    EXPECT_EQ(view().drawing(MenuBarDropView::defaultSize).icon, StatusItemDrawing::Icon::normal);
    stale.action();
    EXPECT_FALSE(controller.isCapturingPaused());
}

TEST_F(MenuBarControllerTest, TerminationBeforeLaunchStopsNothing)
{
    AppDelegate delegate([this] { return std::move(controller); });
    delegate.applicationWillTerminate();
    EXPECT_TRUE(services.log.isEmpty());
}

TEST_F(MenuBarControllerTest, RefusedMonitorLeavesItsFieldEmptyAndTheOtherStillCloses)
{
    monitors.refuseGlobal = true;
    MenuBarController &controller = started();
    view().mouseDown();
    EXPECT_FALSE(controller.globalClickMonitor().has_value());
    ASSERT_TRUE(controller.localClickMonitor().has_value());
    monitors.clickHere(elsewhere());
    runtime.runUntilIdle();
    EXPECT_EQ(controller.popoverState(), MenuBarController::PopoverState::closing);
}

TEST_F(MenuBarControllerTest, ContentThatCannotBeBuiltStillOpensAndCloses)
{
    contentFails = true;
    MenuBarController &controller = started();
    ASSERT_NE(controller.popoverHost(), nullptr);
    EXPECT_EQ(controller.popoverHost()->view(), nullptr);
    view().mouseDown();
    EXPECT_TRUE(popover->isShown());
    view().mouseDown();
    EXPECT_EQ(willCloseCount, 1);
    runtime.runUntilIdle();
    EXPECT_FALSE(popover->isShown());
}

// Every way out of Shown, and what follows it: how often the close is announced, whether the popover
// ends up shown, and how many monitor pairs remain. Steps: 's' a click on the status item, 'i' one
// inside the popover, 'o' one in another program, 'w' one on a window of ours outside it, 't' a
// transient close, 'd' a drag coming back in, 'f' the animation ends, 'n' the next turn, 'x' the
// popover loses its window (without one a click is never judged outside).
struct ShownCase
{
    const char *name;
    const char *steps;
    int willClose;
    bool shownAtEnd;
    int monitorPairs;
};

class ShownTransitionTest : public MenuBarControllerTest, public ::testing::WithParamInterface<ShownCase>
{};

TEST_P(ShownTransitionTest, FromShown)
{
    started();
    view().mouseDown();
    settle();
    ASSERT_TRUE(popover->isShown());
    const std::map<char, std::function<void()>> steps{
        {'s', [this] { clickStatusItem(); }},
        {'i', [this] { monitors.clickHere(popover->frame.center()); }},
        {'o', [this] { monitors.clickElsewhere(elsewhere()); }},
        {'w', [this] { monitors.clickHere(elsewhere()); }},
        {'t', [this] { popover->closeTransiently(); }},
        {'d', [this] { dragEnters(); }},
        {'f', [this] { finishAnimation(); }},
        {'n', [this] { runtime.runUntilIdle(); }},
        {'x', [this] { popover->hasWindow = false; }}};
    for (const char *step = GetParam().steps; *step; ++step)
        std::invoke(steps.at(*step));
    settle();
    EXPECT_EQ(willCloseCount, GetParam().willClose);
    EXPECT_EQ(popover->isShown(), GetParam().shownAtEnd);
    EXPECT_EQ(monitorPairs(), GetParam().monitorPairs);
    EXPECT_LE(std::max(monitors.globalCount(), monitors.localCount()), 1);
    EXPECT_EQ(monitors.unknownRemovals, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Transitions, ShownTransitionTest,
    ::testing::Values(ShownCase{"statusItemClickClosesOnce", "sn", 1, false, 0},
                      ShownCase{"clickInsideKeepsItOpen", "in", 0, true, 1},
                      ShownCase{"clickInOtherProgramCloses", "on", 1, false, 0},
                      ShownCase{"clickOnOwnWindowOutsideCloses", "wn", 1, false, 0},
                      ShownCase{"transientCloseIsSilent", "tn", 0, false, 0},
                      ShownCase{"dragEnteringWhileShownDoesNothing", "dn", 0, true, 1},
                      ShownCase{"withoutAWindowNoClickIsOutside", "xon", 0, true, 1},
                      ShownCase{"outsideClicksDuringTheAnimationAnnounceOnce", "onown", 1, false, 0},
                      ShownCase{"statusItemClickDuringTheAnimationDoesNotReopen", "snsn", 1, false, 0},
                      ShownCase{"escapeDuringTheAnimationThenReopenStaysOpen", "stnsfn", 1, true, 1},
                      ShownCase{"reopenAfterCloseInstallsOnePair", "sfnsn", 1, true, 1},
                      ShownCase{"dragReenteringAfterACloseReopens", "onfnd", 1, true, 1}),
    [](const ::testing::TestParamInfo<ShownCase> &info) { return std::string(info.param.name); });

// The command line's --show and --toggle against a status item that has or has not found its place.
struct WhenPlacedCase
{
    const char *name;
    bool placedAtStart;
    // 's' show, 't' toggle, 'p' the item finds its place (then the next turn runs).
    const char *steps;
    bool shownAtEnd;
    int opens;
};

class WhenPlacedTest : public MenuBarControllerTest, public ::testing::WithParamInterface<WhenPlacedCase>
{};

TEST_P(WhenPlacedTest, OpensOnlyOnceTheItemHasItsPlace)
{
    if (!GetParam().placedAtStart)
        statusBar.nextRect = QRectF();
    MenuBarController &controller = started();
    for (const char *step = GetParam().steps; *step; ++step) {
        if (*step == 's')
            controller.showPopoverWhenPlaced();
        else if (*step == 't')
            controller.togglePopoverWhenPlaced();
        else
            view().placed();
        settle();
    }
    EXPECT_EQ(popover->isShown(), GetParam().shownAtEnd);
    EXPECT_EQ(popover->shownAnchors.size(), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WhenPlacedTest,
    ::testing::Values(WhenPlacedCase{"showPlaced", true, "s", true, 1},
                      WhenPlacedCase{"showWaitsForThePlace", false, "s", false, 0},
                      WhenPlacedCase{"showThenPlaced", false, "sp", true, 1},
                      WhenPlacedCase{"showTwiceOpensOnce", false, "ssp", true, 1},
                      WhenPlacedCase{"toggleTakesBackAPendingOne", false, "ttp", false, 0},
                      WhenPlacedCase{"togglePlacedOpensThenCloses", true, "tt", false, 1},
                      WhenPlacedCase{"placedAloneOpensNothing", false, "p", false, 0}),
    [](const auto &info) { return std::string(info.param.name); });

constexpr QKeyCombination superV(Qt::MetaModifier, Qt::Key_V);
constexpr QKeyCombination ctrlAltK(Qt::ControlModifier | Qt::AltModifier, Qt::Key_K);

TEST_F(MenuBarControllerTest, TheStoredShortcutIsTakenBeforeTheIconShowsAndTogglesThePopoverFromTheKeyboard)
{
    store.values.insert(GleanerySettings::globalShortcutKey, "Ctrl+Alt+K");
    int itemsWhenTaken = -1;
    shortcut.onRequest = [&] { itemsWhenTaken = statusBar.madeCount; };
    int openedByKeyboard = 0;
    notifications.addObserver(PopoverViewModel::keyboardSessionNotification, [&] { ++openedByKeyboard; });
    MenuBarController &controller = started();
    EXPECT_EQ(shortcut.taken, ctrlAltK);
    EXPECT_EQ(itemsWhenTaken, 0);

    // Without a place for the icon the popover opens near the pointer.
    statusBar.item->rect = QRectF();
    shortcut.press(ctrlAltK);
    EXPECT_TRUE(popover->isShown());
    EXPECT_EQ(popover->shownAnchors.value(0), QRectF());
    EXPECT_EQ(openedByKeyboard, 1);
    settle();
    shortcut.press(ctrlAltK);
    EXPECT_EQ(controller.popoverState(), MenuBarController::PopoverState::closing);
    settle();
    view().mouseDown();
    EXPECT_EQ(openedByKeyboard, 1) << "a click is no keyboard opening";

    controller.teardown();
    EXPECT_FALSE(shortcut.taken.has_value());
}

// The shortcut row over the fake: what it says, and what a recording leaves in the store and the
// platform. Keys: 'o' opens the popover, 'r' starts recording, 'k' Ctrl+Alt+K, 'm' Meta alone, 'x' a plain X,
// 'e' Escape, 'b' Backspace, 'c' the popover closes.
struct ShortcutCase
{
    const char *name;
    const char *stored; // null: nothing stored
    bool supported;
    bool heldElsewhere;
    const char *keys;
    const char *keyText;
    const char *detailText;
    const char *storedAtEnd = nullptr; // null: nothing stored
    std::optional<QKeyCombination> takenAtEnd = std::nullopt;
};

class ShortcutRowTest : public MenuBarControllerTest, public ::testing::WithParamInterface<ShortcutCase>
{};

TEST_P(ShortcutRowTest, ShowsAndRecords)
{
    const ShortcutCase &row = GetParam();
    if (row.stored)
        store.values.insert(GleanerySettings::globalShortcutKey, row.stored);
    shortcut.isSupported = row.supported;
    if (row.heldElsewhere)
        shortcut.heldElsewhere = superV;
    ShortcutSetting &setting = started().shortcutSetting();
    const auto press = [&](int key, Qt::KeyboardModifiers modifiers) {
        setting.recordKey(key, int(modifiers));
    };
    const std::map<char, std::function<void()>> keys{
        {'o', [&] { view().mouseDown(); }},
        {'r',
         [&] {
             setting.startRecording();
             EXPECT_EQ(setting.isRecording(), row.supported);
             EXPECT_FALSE(shortcut.taken.has_value()) << "held while recording";
         }},
        {'k', [&] { press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier); }},
        {'m', [&] { press(Qt::Key_Meta, Qt::MetaModifier); }},
        {'x', [&] { press(Qt::Key_X, Qt::NoModifier); }},
        {'e', [&] { press(Qt::Key_Escape, Qt::NoModifier); }},
        {'b', [&] { press(Qt::Key_Backspace, Qt::NoModifier); }},
        {'c', [&] { popover->closeTransiently(); }}};
    for (const char *key = row.keys; *key; ++key)
        std::invoke(keys.at(*key));
    EXPECT_EQ(setting.keyText(), row.keyText);
    EXPECT_EQ(setting.detailText(), row.detailText);
    EXPECT_EQ(store.stringValue(GleanerySettings::globalShortcutKey),
              row.storedAtEnd ? std::optional<QString>(row.storedAtEnd) : std::nullopt);
    EXPECT_EQ(shortcut.taken, row.takenAtEnd);
}

const char *const opens = "Opens Tarno from any program · click to change";
const char *const none = "No shortcut · click to set one";
const char *const recording = "Press the new combination · Escape cancels · Backspace clears";
const char *const wayland = "Bind tarno --toggle to a key in your desktop's shortcut settings";
INSTANTIATE_TEST_SUITE_P(
    Cases, ShortcutRowTest,
    ::testing::Values(
        ShortcutCase{"defaultIsSuperV", nullptr, true, false, "", "Super+V", opens, nullptr, superV},
        ShortcutCase{"inUse", nullptr, true, true, "", "Super+V", "Shortcut in use by another program"},
        ShortcutCase{"cleared", "", true, false, "", "None", none, ""},
        ShortcutCase{"wayland", nullptr, false, false, "r", "", wayland},
        ShortcutCase{"recordingWaitsForACombination", nullptr, true, false, "rmx", "Press keys", recording},
        ShortcutCase{"combinationIsKeptAndStored", nullptr, true, false, "rmk", "Ctrl+Alt+K", opens,
                     "Ctrl+Alt+K", ctrlAltK},
        ShortcutCase{"escapeCancels", nullptr, true, false, "re", "Super+V", opens, nullptr, superV},
        ShortcutCase{"backspaceClears", nullptr, true, false, "rb", "None", none, ""},
        ShortcutCase{"closingCancels", nullptr, true, false, "orc", "Super+V", opens, nullptr, superV},
        ShortcutCase{"recordingAgainRetriesOneInUse", nullptr, true, true, "rk", "Ctrl+Alt+K", opens,
                     "Ctrl+Alt+K", ctrlAltK}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
