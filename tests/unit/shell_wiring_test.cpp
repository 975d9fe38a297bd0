// The controller over the real process-wide services, themselves over fakes of the platform: what
// setup starts really runs, a copy really reaches the history, and teardown really stops it all.
#include "capture/ClipboardMonitor.h"
#include "capture/ScreenshotFileWatcher.h"
#include "capture/SystemScreenshotPreferences.h"
#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "model/HistoryCleanupService.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Platform.h"
#include "platform/fake/FakeApplication.h"
#include "platform/fake/FakeEventMonitors.h"
#include "platform/fake/FakeFileEvents.h"
#include "platform/fake/FakeGlobalShortcut.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakePopover.h"
#include "platform/fake/FakeProcessRunner.h"
#include "platform/fake/FakeStatusBar.h"
#include "platform/fake/ManualRuntime.h"
#include "shell/MenuBarController.h"
#include "shell/MenuBarDropView.h"
#include "shell/ShellServices.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

TEST(ShellWiringTest, SetupRunsTheSharedServicesAndTeardownStopsThem)
{
    ManualRuntime runtime;
    FakeImageCodec codec;
    FakePasteboard pasteboard;
    FakeFileEvents fileEvents;
    FakeProcessRunner processRunner;
    Platform::install(Platform{&runtime, &codec, &pasteboard, &fileEvents, &processRunner, nullptr});

    QTemporaryDir home;
    SystemScreenshotPreferences preferences(
        processRunner,
        {home.path(), home.filePath(".config"), home.filePath("bin"), home.filePath("locale"), {}});
    SharedServices services(preferences);
    FakeKeyValueStore store;
    store.values.insert(GleanerySettings::screenshotsUseClipboardKey, "false");
    FakeStatusBar statusBar;
    FakeEventMonitors monitors;
    FakeApplication application;
    NotificationCenter notifications;
    FakeGlobalShortcut shortcut;
    MenuBarController controller(MenuBarController::Environment{
        runtime, codec, store, statusBar, [] { return std::make_unique<FakePopover>(); }, monitors,
        application, notifications, services, shortcut});

    controller.setup();
    EXPECT_TRUE(ClipboardMonitor::shared().isStarted());
    EXPECT_TRUE(ScreenshotFileWatcher::shared().isWatching());
    EXPECT_TRUE(HistoryCleanupService::shared().isRunning());
    // The watcher reads where screenshots go; with the setting off nothing changes the target.
    EXPECT_FALSE(processRunner.callLog.join('\n').contains("write"))
        << processRunner.callLog.join('\n').toStdString();

    pasteboard.simulateCopyText("copied elsewhere");
    runtime.advance(1s);
    ASSERT_EQ(controller.historyViewModel().items().size(), 1);
    EXPECT_EQ(controller.historyViewModel().items().first().text, "copied elsewhere");

    // A drop pauses the real monitor, so the program's own additions are never captured twice.
    controller.menuBarView()->onDropCaptures({PasteboardCapture::text("dropped")});
    EXPECT_TRUE(ClipboardMonitor::shared().isPaused());
    EXPECT_EQ(controller.historyViewModel().items().size(), 2);
    runtime.advance(1s);

    // The user's pause reaches the real monitor, which the watcher also obeys: a copy made during it
    // is not captured, then or once it is lifted; a drop still is.
    controller.setCapturingPaused(true);
    EXPECT_TRUE(ClipboardMonitor::shared().isCapturingPaused());
    pasteboard.simulateCopyText("private");
    runtime.advance(1s);
    controller.menuBarView()->onDropCaptures({PasteboardCapture::text("dropped while paused")});
    runtime.advance(1s);
    controller.setCapturingPaused(false);
    runtime.advance(2s);
    ASSERT_EQ(controller.historyViewModel().items().size(), 3);
    EXPECT_EQ(controller.historyViewModel().items().first().text, "dropped while paused");

    controller.teardown();
    EXPECT_FALSE(ClipboardMonitor::shared().isStarted());
    EXPECT_FALSE(ScreenshotFileWatcher::shared().isWatching());
    EXPECT_FALSE(HistoryCleanupService::shared().isRunning());
    pasteboard.simulateCopyText("after the end");
    runtime.advance(5s);
    EXPECT_EQ(controller.historyViewModel().items().size(), 3);
}

} // namespace
