#include "capture/ClipboardMonitor.h"
#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/Platform.h"
#include "platform/fake/FakeAppearance.h"
#include "platform/fake/FakeGlobalShortcut.h"
#include "platform/fake/FakeImageCodec.h"
#include "platform/fake/FakeKeyValueStore.h"
#include "platform/fake/FakePasteboard.h"
#include "platform/fake/FakeProcessRunner.h"
#include "platform/fake/ManualRuntime.h"
#include "platform/qt/QtImageCodec.h"
#include "tests/support/TestData.h"
#include "ui/ClipImageProvider.h"
#include "ui/ClipListModel.h"
#include "ui/KeyboardNavigation.h"
#include "ui/PopoverView.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShortcutSetting.h"

#include <QGuiApplication>
#include <QPalette>

#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

// The platform the process-wide services are built over; the monitor is made once per process, so
// every test shares these.
template <typename Fake> Fake &shared()
{
    static Fake instance;
    return instance;
}

// The real popover view, loaded from the compiled-in module, over real stores, in a window of the
// offscreen platform drawn by the software renderer.
class PopoverViewTest : public ::testing::Test
{
protected:
    static ManualRuntime &runtime() { return shared<ManualRuntime>(); }
    static FakePasteboard &pasteboard() { return shared<FakePasteboard>(); }
    static FakeImageCodec &codec() { return shared<FakeImageCodec>(); }
    static FakeAppearance &appearance() { return shared<FakeAppearance>(); }

    static void SetUpTestSuite()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        Platform platform{&runtime(), &codec(), &pasteboard(), nullptr, &shared<FakeProcessRunner>()};
        platform.appearance = &appearance();
        Platform::install(platform);
    }

    FakeKeyValueStore store;
    ClipboardHistoryViewModel history{runtime(), codec()};
    GleanerySettings settings{store, [] { return false; }};
    FakeGlobalShortcut globalShortcut;
    ShortcutSetting shortcut{settings, globalShortcut};
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window = std::make_unique<QQuickWindow>();
    QQuickItem *view = nullptr;
    PopoverViewModel *model = nullptr;
    // Where the view looks for screenshot tools: an empty machine unless a test installs some.
    QTemporaryDir tools;

    void SetUp() override
    {
        window->resize(360, 480);
        const auto at = [this](const char *path) { return tools.filePath(path); };
        view = createPopoverView(
            engine, window->contentItem(), history, settings, [](const PasteboardCaptures &) {},
            [] { return ClipboardMonitor::shared().isCapturingPaused(); },
            ScreenshotEnvironment{at("home"), at("home/.config"), at("bin"), at("locale"), {}}, &shortcut);
        ASSERT_NE(view, nullptr);
        model = view->property("model").value<PopoverViewModel *>();
        ASSERT_NE(model, nullptr);
    }
    void TearDown() override
    {
        delete view;
        window.reset();
    }

    void show()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // The first item below `parent` in the item tree (where views and repeaters put their items)
    // that satisfies the predicate.
    template <typename Predicate> static QQuickItem *findItem(QQuickItem *parent, Predicate predicate)
    {
        for (QQuickItem *child : parent->childItems()) {
            if (predicate(child))
                return child;
            if (QQuickItem *found = findItem(child, predicate))
                return found;
        }
        return nullptr;
    }
    QQuickItem *item(const QString &name, QQuickItem *parent = nullptr) const
    {
        return findItem(parent ? parent : view, [&](QQuickItem *i) { return i->objectName() == name; });
    }
    QString textOf(QQuickItem *parent, const QString &name) const
    {
        QQuickItem *found = item(name, parent);
        return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }
    // The list's row for a clip, once the list has laid it out.
    QQuickItem *row(const ClipboardItem &clip) const
    {
        return findItem(view, [&](QQuickItem *i) {
            return i->property("clipId").toString() == clipIdString(clip.id) &&
                   i->property("popover").isValid();
        });
    }
    void scrollSettingsToTheEnd() const
    {
        QQuickItem *scroll = item("settingsScroll");
        scroll->setProperty("contentY", scroll->property("contentHeight").toReal() - scroll->height());
    }
    QPoint centre(QQuickItem *item) const
    {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    void click(QQuickItem *target, QPoint offset = {})
    {
        QTest::mouseClick(window.get(), Qt::LeftButton, {}, centre(target) + offset);
    }
    // The row for a clip once the list has laid it out; null if it never does.
    QQuickItem *shownRow(const ClipboardItem &clip) const
    {
        QQuickItem *found = nullptr;
        return QTest::qWaitFor([&] { return (found = row(clip)) != nullptr; }, 2000) ? found : nullptr;
    }
    bool openSettings()
    {
        model->toggleSettings();
        return QTest::qWaitFor([&] { return item("settingsScroll")->opacity() > 0.99; }, 3000);
    }
    bool isOn(const QString &name) const { return item(name)->property("isSelected").toBool(); }
    ClipboardItem text(const QString &value) { return ClipboardItem::makeText(value, runtime().now()); }
    ClipboardItem image()
    {
        return ClipboardItem::makeImage(FakeImageCodec::makeImage(QSize(64, 40), "png"), runtime().now());
    }
};

TEST_F(PopoverViewTest, ThePulseAndTheClockRunOnlyWhileThePopoverIsOnScreen)
{
    // A running animation keeps Qt's animation timer waking the program sixty times a second, so
    // a hidden popover must run none; nor need relative ages tick when nobody can read them.
    QQuickItem *symbol = item("emptySymbol", item("emptyState"));
    ASSERT_NE(symbol, nullptr);
    const auto running = [&] {
        return std::pair(symbol->property("isPulseRunning").toBool(), model->clockRunning());
    };
    QSignalSpy ticks(model, &PopoverViewModel::nowChanged);
    runtime().advance(3s);
    EXPECT_EQ(running(), std::pair(false, false));
    EXPECT_EQ(ticks.count(), 0);

    show();
    EXPECT_EQ(running(), std::pair(true, true));
    ticks.clear();
    runtime().advance(3s);
    EXPECT_EQ(ticks.count(), 3);
    EXPECT_EQ(model->now(), runtime().now());

    window->hide();
    EXPECT_EQ(running(), std::pair(false, false));
    ticks.clear();
    runtime().advance(5s);
    EXPECT_EQ(ticks.count(), 0);
}

TEST_F(PopoverViewTest, EmptyStatesAndTheCountFollowTheStoreAndTheFilter)
{
    QQuickItem *empty = item("emptyState");
    QQuickItem *filteredEmpty = item("filteredEmptyState");
    QQuickItem *badge = item("countText");
    ASSERT_TRUE(empty && filteredEmpty && badge);
    const auto count = [badge] { return badge->property("text").toString(); };
    const auto shown = [&] { return std::pair(empty->isVisible(), filteredEmpty->isVisible()); };

    for (const QString filter : {"all", "text", "screenshots"}) {
        model->setFilter(filter);
        EXPECT_EQ(shown(), std::pair(true, false)) << filter.toStdString();
        EXPECT_EQ(textOf(empty, "emptyTitle"), "Nothing here yet") << filter.toStdString();
    }
    EXPECT_EQ(textOf(empty, "emptyMessage"), "Copy text or take a screenshot.\nTarno will remember it.");
    EXPECT_EQ(count(), "0");

    history.setItems({image(), image()});
    model->setFilter("text");
    EXPECT_EQ(shown(), std::pair(false, true));
    EXPECT_EQ(textOf(filteredEmpty, "emptyTitle"), "No text clips");
    EXPECT_EQ(textOf(filteredEmpty, "emptyMessage"), "Try another filter, or copy something new.");
    EXPECT_EQ(count(), "0");
    // An addition counts only when it passes the filter.
    history.add(image());
    EXPECT_EQ(count(), "0");
    history.add(text("a"));
    EXPECT_EQ(count(), "1");
    EXPECT_FALSE(filteredEmpty->isVisible());

    history.setItems({text("only text")});
    model->setFilter("screenshots");
    EXPECT_EQ(textOf(filteredEmpty, "emptyTitle"), "No screenshots clips");

    model->setFilter("all");
    EXPECT_EQ(shown(), std::pair(false, false));
    EXPECT_EQ(count(), "1");
    history.clear();
    EXPECT_EQ(count(), "0");
}

// The desktop's look, dark or light, against a light or dark palette from Qt.
class PopoverLookTest : public PopoverViewTest, public ::testing::WithParamInterface<std::pair<bool, bool>>
{
protected:
    void TearDown() override
    {
        PopoverViewTest::TearDown();
        appearance().setDark(false);
        QGuiApplication::setPalette(QPalette());
    }
};

TEST_P(PopoverLookTest, TheInkIsTheDesktopsPalettesWhenItMatchesTheLookElseOurOwnAndFollowsIt)
{
    const auto [paletteDark, dark] = GetParam();
    QPalette palette;
    palette.setColor(QPalette::Window, paletteDark ? QColor(0x20, 0x30, 0x40) : QColor(0xe0, 0xd0, 0xc0));
    palette.setColor(QPalette::Text, paletteDark ? QColor(0xe0, 0xd0, 0xc0) : QColor(0x20, 0x30, 0x40));
    QGuiApplication::setPalette(palette);
    QQuickItem *title = item("emptyTitle");
    ASSERT_NE(title, nullptr);
    const auto ink = [title] { return title->property("color").value<QColor>(); };
    const QColor paletteInk = palette.color(QPalette::Text);

    appearance().setDark(dark);
    EXPECT_EQ(ink().lightnessF() > 0.5, dark);
    EXPECT_EQ(ink() == paletteInk, dark == paletteDark) << ink().name().toStdString();
    appearance().setDark(!dark);
    EXPECT_EQ(ink().lightnessF() > 0.5, !dark) << "the ink did not follow the desktop";
    EXPECT_EQ(ink() == paletteInk, dark != paletteDark) << ink().name().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Looks, PopoverLookTest,
                         ::testing::Values(std::pair(false, false), std::pair(false, true),
                                           std::pair(true, false), std::pair(true, true)));

// Over the real codec, so that thumbnails are made; run at a pixel ratio of 1 and, as
// popover_view_hidpi_test, of 2.
class PopoverPixelsTest : public PopoverViewTest
{
protected:
    QtImageCodec realCodec;
    void SetUp() override
    {
        Platform platform = Platform::current();
        platform.codec = &realCodec;
        Platform::install(platform);
        PopoverViewTest::SetUp();
    }
    void TearDown() override
    {
        PopoverViewTest::TearDown();
        Platform platform = Platform::current();
        platform.codec = &codec();
        Platform::install(platform);
    }
};

TEST_F(PopoverPixelsTest, ThumbnailsAreMadeAtTheDisplaysOwnPixels)
{
    const ClipboardItem clip =
        ClipboardItem::makeImage(encodeImage(QImage(1440, 900, QImage::Format_RGB32)), runtime().now());
    history.setItems({clip});
    show();
    auto *thumbnails = dynamic_cast<ClipImageProvider *>(engine.imageProvider("clips"));
    ASSERT_NE(thumbnails, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thumbnails->cachedThumbnail(clip.id).isNull(); }));
    QQuickItem *picture = item("thumbnail");
    ASSERT_NE(picture, nullptr);
    const qreal ratio = window->effectiveDevicePixelRatio();
    EXPECT_NEAR(thumbnails->cachedThumbnail(clip.id).width(), std::ceil(picture->width()) * ratio, 1)
        << "at " << ratio;
}

TEST_F(PopoverViewTest, PillsAndTheStoreFilterStayInStep)
{
    show();
    QQuickItem *textPill = item("pill-text");
    QQuickItem *screenshotsPill = item("pill-screenshots");
    ASSERT_TRUE(textPill && item("pill-all") && screenshotsPill);
    const auto selected = [&] {
        return std::tuple(isOn("pill-all"), isOn("pill-text"), isOn("pill-screenshots"));
    };
    EXPECT_EQ(selected(), std::tuple(true, false, false));

    click(textPill);
    EXPECT_EQ(history.filter(), ClipboardFilter::text);
    EXPECT_EQ(selected(), std::tuple(false, true, false));

    history.setFilter(ClipboardFilter::screenshots);
    EXPECT_EQ(selected(), std::tuple(false, false, true));

    // The capsule glides to the selected pill and ends on it.
    QQuickItem *capsule = item("selectionCapsule");
    ASSERT_NE(capsule, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return qAbs(capsule->x() - screenshotsPill->x()) < 0.5; }, 3000));
    EXPECT_NEAR(capsule->width(), screenshotsPill->width(), 0.5);
}

TEST_F(PopoverViewTest, ClickingARowPausesTheMonitorThenPutsTheClipOnThePasteboard)
{
    const ClipboardItem clip = text("  copied back  ");
    history.setItems({clip, text("other")});
    show();
    QQuickItem *clipRow = shownRow(clip);
    ASSERT_NE(clipRow, nullptr);
    runtime().advance(1s); // any earlier pause is over

    const qint64 before = pasteboard().changeCount();
    pasteboard().writeLog.clear();
    click(clipRow, {-60, 0});
    EXPECT_EQ(pasteboard().stringForType(PasteboardType::plainText), "  copied back  ");
    EXPECT_EQ(pasteboard().writeLog.value(0), "clear");
    // Paused before the write: the count taken as handled is the one from before it, and the pause
    // still runs; when it ends the program's own write counts as handled.
    ClipboardMonitor &monitor = ClipboardMonitor::shared();
    EXPECT_TRUE(monitor.isPaused());
    EXPECT_EQ(monitor.lastChangeCount(), before);
    EXPECT_TRUE(clipRow->property("didTapCopy").toBool());
    runtime().advance(600ms);
    EXPECT_EQ(monitor.lastChangeCount(), pasteboard().changeCount());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !clipRow->property("didTapCopy").toBool(); }, 2000));

    // The copy button copies without the row's dip, and only while the row is hovered.
    QQuickItem *copyButton = item("copyButton", clipRow);
    ASSERT_NE(copyButton, nullptr);
    model->rowExited(clipIdString(clip.id));
    EXPECT_FALSE(copyButton->property("enabled").toBool());
    model->rowEntered(clipIdString(clip.id));
    EXPECT_TRUE(copyButton->property("enabled").toBool());
    pasteboard().simulateCopyText("something else");
    click(copyButton);
    EXPECT_EQ(pasteboard().stringForType(PasteboardType::plainText), "  copied back  ");
    EXPECT_FALSE(clipRow->property("didTapCopy").toBool());
}

TEST_F(PopoverViewTest, ClearAllEmptiesTheStoreOnceIgnoresASecondPressAndEndsOpaque)
{
    history.setItems({text("a"), image(), text("b")});
    show();
    QSignalSpy cleared(&history, &ClipboardHistoryViewModel::itemsChanged);
    const QString listId = model->listAnimationId();
    QQuickItem *clearButton = item("clearAllMouseArea");
    ASSERT_NE(clearButton, nullptr);
    ASSERT_TRUE(openSettings());
    scrollSettingsToTheEnd();

    click(clearButton);
    EXPECT_TRUE(model->isClearingList());
    model->clearAll(); // a second press during the sequence
    runtime().advance(279ms);
    EXPECT_EQ(history.items().size(), 3);
    runtime().advance(1ms);
    EXPECT_TRUE(history.items().isEmpty());
    EXPECT_TRUE(model->isClearingList());
    EXPECT_FALSE(clearButton->property("enabled").toBool()); // nothing left to clear
    EXPECT_FALSE(model->hasClips());
    runtime().advance(359ms);
    EXPECT_TRUE(model->isClearingList());
    EXPECT_EQ(model->listAnimationId(), listId);
    runtime().advance(1ms);
    EXPECT_FALSE(model->isClearingList());
    EXPECT_NE(model->listAnimationId(), listId);
    runtime().advance(5s);
    EXPECT_EQ(cleared.count(), 1);

    model->toggleSettings();
    QQuickItem *content = item("clipContent");
    EXPECT_TRUE(QTest::qWaitFor([&] { return content->opacity() > 0.999; }, 3000));
    EXPECT_TRUE(item("emptyState")->isVisible());

    // With nothing to clear, a request starts nothing.
    model->clearAll();
    EXPECT_FALSE(model->isClearingList());
}

TEST_F(PopoverViewTest, SettingsShowTheSwitchStatusAndTheRetentionChoice)
{
    runtime().advance(1s);
    ClipboardItem old = text("two days old");
    old.createdAt = runtime().now().addDays(-2);
    history.setItems({text("fresh"), old});
    settings.setScreenshotsUseClipboard(false);
    show();
    ASSERT_TRUE(openSettings());
    EXPECT_EQ(item("footerHint")->property("text").toString(), "Tap gear to return to clips");
    QQuickItem *statusLine = item("statusLine");
    ASSERT_NE(statusLine, nullptr);
    EXPECT_FALSE(statusLine->isVisible());

    // With no tool to configure, Tarno's own copy of each new screenshot is what the switch means.
    const auto toggle = [&](bool on) {
        item("screenshotSwitch")->setProperty("checked", on);
        QMetaObject::invokeMethod(item("screenshotSwitch"), "toggled");
    };
    toggle(true);
    EXPECT_TRUE(settings.screenshotsUseClipboard());
    EXPECT_TRUE(statusLine->isVisible());
    EXPECT_EQ(textOf(statusLine, "statusText"), "No tool to configure — Tarno copies new screenshots");
    EXPECT_EQ(textOf(view, "switchDetail"), "No Control key needed — Tarno copies new screenshots");

    // With Spectacle installed the switch names it, and the line says whether its setting holds.
    writeProgram(tools.filePath("bin/spectacle"));
    toggle(false);
    toggle(true);
    EXPECT_EQ(textOf(statusLine, "statusText"), "Could not apply — try toggling off and on");
    EXPECT_EQ(textOf(view, "switchDetail"), "No Control key needed — Tarno configures Spectacle");
    writeFile(tools.filePath("home/.config/spectaclerc"),
              "[General]\nclipboardGroup=PostScreenshotCopyImage\n");
    model->toggleSettings();
    model->toggleSettings();
    EXPECT_EQ(textOf(statusLine, "statusText"), "Print will copy to clipboard — set in Spectacle");
    // Nothing in the view speaks of the other platform's keys or system.
    QStringList shown;
    findItem(view, [&](QQuickItem *i) {
        shown << i->property("text").toString();
        return false;
    });
    EXPECT_TRUE(shown.contains("Clipboard for Print"));
    EXPECT_FALSE(shown.join('\n').contains(u'⌘') || shown.join('\n').contains("macOS"))
        << shown.join('|').toStdString();

    EXPECT_TRUE(isOn("retention-keepForever"));
    QMetaObject::invokeMethod(item("retention-daily"), "action");
    EXPECT_EQ(settings.retentionPolicy(), HistoryRetentionPolicy::daily);
    EXPECT_TRUE(isOn("retention-daily"));
    EXPECT_FALSE(isOn("retention-keepForever"));
    // The new policy applies at once.
    ASSERT_EQ(history.items().size(), 1);
    EXPECT_EQ(history.items().first().text, "fresh");
}

TEST_F(PopoverViewTest, TheShortcutRowRecordsTheKeysPressedInThePopover)
{
    shortcut.apply();
    show();
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(openSettings());
    scrollSettingsToTheEnd();
    QQuickItem *row = item("shortcutRow");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(textOf(row, "shortcutKeys"), "Super+V");
    click(row);
    EXPECT_TRUE(shortcut.isRecording());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(shortcut.isRecording());
    click(row);
    QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(settings.globalShortcut(), "Ctrl+Alt+K");
    EXPECT_EQ(textOf(row, "shortcutKeys"), "Ctrl+Alt+K");

    // Leaving the settings mid-recording keeps what was there.
    click(row);
    model->toggleSettings();
    EXPECT_FALSE(shortcut.isRecording());
    EXPECT_EQ(globalShortcut.taken, QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_K));
}

TEST_F(PopoverViewTest, TheFooterSaysCapturingIsPausedARowStillCopiesAndClosingReturnsToTheList)
{
    const ClipboardItem clip = text("copied while paused");
    history.setItems({clip});
    show();
    QQuickItem *hint = item("footerHint");
    QSignalSpy changes(model, &PopoverViewModel::isCapturingPausedChanged);
    const auto setPaused = [](bool paused) {
        ClipboardMonitor::shared().setCapturingPaused(paused);
        NotificationCenter::defaultCenter().post("gleaneryCapturingPausedChanged");
    };

    setPaused(true);
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(hint->property("text").toString(), "Capturing paused");
    model->toggleSettings();
    EXPECT_EQ(hint->property("text").toString(), "Capturing paused");
    model->toggleSettings();

    QQuickItem *clipRow = shownRow(clip);
    ASSERT_NE(clipRow, nullptr);
    click(clipRow, {-60, 0});
    EXPECT_EQ(pasteboard().stringForType(PasteboardType::plainText), "copied while paused");

    setPaused(false);
    EXPECT_EQ(changes.size(), 2);
    EXPECT_EQ(hint->property("text").toString(), "Drop in · drag out · click to copy");
    runtime().advance(1s);

    // The popover closing returns it to the list.
    model->toggleSettings();
    EXPECT_TRUE(model->showsSettings());
    NotificationCenter::defaultCenter().post("gleaneryPopoverWillClose");
    EXPECT_FALSE(model->showsSettings());
    EXPECT_EQ(hint->property("text").toString(), "Drop in · drag out · click to copy");
    EXPECT_TRUE(QTest::qWaitFor([&] { return item("filterPillBar")->opacity() > 0.999; }, 3000));
}

TEST_F(PopoverViewTest, HoverPassesFromRowToRowWhateverOrderTheReportsArriveIn)
{
    const ClipboardItem a = text("row a");
    const ClipboardItem b = text("row b");
    history.setItems({a, b});
    show();
    QQuickItem *rowA = shownRow(a);
    QQuickItem *rowB = shownRow(b);
    ASSERT_TRUE(rowA && rowB);

    // B's enter before A's exit leaves B hovered.
    model->rowEntered(clipIdString(a.id));
    model->rowEntered(clipIdString(b.id));
    model->rowExited(clipIdString(a.id));
    EXPECT_TRUE(rowB->property("isHovered").toBool());
    EXPECT_FALSE(rowA->property("isHovered").toBool());
    model->rowExited(clipIdString(b.id));
    EXPECT_FALSE(rowB->property("isHovered").toBool());

    // The same with the pointer moving straight from one row into the next.
    QTest::mouseMove(window.get(), centre(rowA));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowA->property("isHovered").toBool(); }, 1000));
    QTest::mouseMove(window.get(), centre(rowB));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowB->property("isHovered").toBool(); }, 1000));
    EXPECT_FALSE(rowA->property("isHovered").toBool());
    EXPECT_EQ(model->hoveredItemId(), clipIdString(b.id));
}

// The keys as the user presses them in the shown popover: ↑ ↓ ⇞ ⇟ for Up, Down, Home and End,
// ⇥ Tab, ⏎ Enter, ⌦ Delete, ⎋ Escape, ⌫ Backspace; any other (Latin-1) character is typed.
void press(QQuickWindow *window, const QString &keys)
{
    static const QHash<QChar, Qt::Key> named{
        {u'↑', Qt::Key_Up},     {u'↓', Qt::Key_Down},   {u'⇞', Qt::Key_Home},
        {u'⇟', Qt::Key_End},    {u'⇥', Qt::Key_Tab},    {u'⏎', Qt::Key_Return},
        {u'⌦', Qt::Key_Delete}, {u'⎋', Qt::Key_Escape}, {u'⌫', Qt::Key_Backspace}};
    for (const QChar key : keys) {
        if (named.contains(key))
            QTest::keyClick(window, named.value(key));
        else
            QTest::keyClick(window, key.toLatin1());
    }
}

TEST_F(PopoverViewTest, ArrowsHomeAndEndMoveTheSelectionWithinTheList)
{
    history.setItems({text("0"), text("1"), text("2"), text("3")});
    show();
    KeyboardNavigation *keys = model->keys();
    EXPECT_EQ(keys->selectedIndex(), 0);
    EXPECT_FALSE(keys->isFocusVisible());
    const std::pair<const char *, int> moves[] = {{"↓", 1},  {"↓↓↓↓↓↓", 3}, {"↑", 0},  {"⇟", 3},
                                                  {"⇟⇞", 0}, {"⇟↑", 2},     {"↓↓↑", 1}};
    for (const auto &[sequence, expected] : moves) {
        keys->reset();
        press(window.get(), QString::fromUtf8(sequence));
        EXPECT_EQ(keys->selectedIndex(), expected) << sequence;
        EXPECT_EQ(keys->selectedId(), clipIdString(history.items().at(expected).id)) << sequence;
    }
    // The ring is drawn on the selected row only, and only until the pointer is pressed.
    QQuickItem *selected = shownRow(history.items().at(1));
    ASSERT_NE(selected, nullptr);
    EXPECT_TRUE(item("focusRing", selected)->isVisible());
    EXPECT_FALSE(item("focusRing", row(history.items().at(0)))->isVisible());
    click(item("countBadge"));
    EXPECT_FALSE(keys->isFocusVisible());
    EXPECT_FALSE(item("focusRing", selected)->isVisible());

    // Tab goes round the pills, the list and the gear; Enter presses what has the focus.
    press(window.get(), "⇥");
    EXPECT_EQ(keys->focusStop(), "gear");
    EXPECT_TRUE(item("gearFocusRing")->isVisible());
    press(window.get(), "⇥⇥");
    EXPECT_EQ(keys->focusStop(), "text");
    EXPECT_TRUE(item("focusRing", item("pill-text"))->isVisible());
    press(window.get(), "⏎");
    EXPECT_EQ(history.filter(), ClipboardFilter::text);
    QTest::keyClick(window.get(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(keys->focusStop(), "all");
}

TEST_F(PopoverViewTest, TypingSearchesTheCurrentListIgnoringCaseAndAccents)
{
    const QByteArray padding(ClipSearch::searchedBytes - 4, 'x');
    history.setItems({text("Café au lait"), text("CAFE"), text("cafe\u0301 noir"), text("tea"), image(),
                      text(QString::fromLatin1(padding + "cafe")),
                      text(QString::fromLatin1(padding + "xxtea"))});
    show();
    QQuickItem *field = item("searchField");
    EXPECT_FALSE(field->isVisible());
    const auto found = [&] {
        QStringList texts;
        for (const ClipboardItem &clip : history.filteredItems())
            texts << clip.text->toString().left(12);
        return texts.join('|');
    };
    // The first past the searched start is found, the second is not.
    const std::pair<const char *, const char *> searches[] = {
        {"cafe", "Café au lait|CAFE|cafe\u0301 noir|xxxxxxxxxxxx"},
        {"CAFÉ N", "cafe\u0301 noir"},
        {"tea", "tea"},
        {"zz", ""}};
    for (const auto &[query, expected] : searches) {
        press(window.get(), QString::fromUtf8(query));
        EXPECT_EQ(model->keys()->searchText(), QString::fromUtf8(query));
        EXPECT_EQ(found(), QString::fromUtf8(expected)) << query;
        EXPECT_EQ(textOf(view, "countText"), QString::number(history.filteredItems().size()));
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(textOf(field, "searchInput"), QString::fromUtf8(query));
        // Escape clears the search, taking the key, and only an Escape with none left closes.
        press(window.get(), "⎋");
        EXPECT_EQ(history.filteredItems().size(), 7);
        EXPECT_FALSE(field->isVisible());
    }
    EXPECT_FALSE(model->keys()->handleKey(Qt::Key_Escape, Qt::NoModifier, {}));
    // Within the current pill's list; Backspace takes the last character back.
    model->setFilter("screenshots");
    press(window.get(), "ca");
    EXPECT_TRUE(item("filteredEmptyState")->isVisible());
    EXPECT_EQ(textOf(item("filteredEmptyState"), "emptyTitle"), "No clips match");
    model->setFilter("text");
    press(window.get(), "f⌫");
    EXPECT_EQ(found(), "Café au lait|CAFE|cafe\u0301 noir|xxxxxxxxxxxx");
    window->hide();
    EXPECT_EQ(history.searchText(), "");
}

TEST_F(PopoverViewTest, EnterCopiesAsAClickDoesAndClosesDeleteRemovesAndTheSelectionFollows)
{
    const QList<ClipboardItem> clips{text("newest"), text("previous"), text("third"), text("oldest")};
    history.setItems(clips);
    show();
    KeyboardNavigation *keys = model->keys();
    int closeRequests = 0;
    const auto observer = NotificationCenter::defaultCenter().addObserver(
        PopoverViewModel::closeRequestNotification, [&] { ++closeRequests; });
    runtime().advance(1s);

    // Opened from the keyboard, the newest clip is selected and shown; Down and Enter copy the one
    // before it, through the row's copy: the monitor paused first.
    model->toggleSettings();
    model->beginKeyboardSession();
    EXPECT_FALSE(model->showsSettings());
    EXPECT_TRUE(keys->isFocusVisible());
    const qint64 before = pasteboard().changeCount();
    press(window.get(), "↓⏎");
    EXPECT_EQ(pasteboard().stringForType(PasteboardType::plainText), "previous");
    EXPECT_TRUE(ClipboardMonitor::shared().isPaused());
    EXPECT_EQ(ClipboardMonitor::shared().lastChangeCount(), before);
    EXPECT_EQ(closeRequests, 1);
    runtime().advance(1s);

    // Delete removes the selected clip; the one below takes its place, the last one's place goes
    // to the one above.
    press(window.get(), "⌦");
    EXPECT_EQ(history.items().size(), 3);
    EXPECT_EQ(keys->selectedId(), clipIdString(clips.at(2).id));
    press(window.get(), "⇟⌦");
    EXPECT_EQ(keys->selectedId(), clipIdString(clips.at(2).id));
    // A new copy keeps the selection on its clip; a new filter or search starts from the top.
    history.add(text("newer still"));
    EXPECT_EQ(keys->selectedIndex(), 2);
    model->setFilter("text");
    EXPECT_EQ(keys->selectedIndex(), 0);
    press(window.get(), "↓↓st");
    EXPECT_EQ(model->count(), 2);
    EXPECT_EQ(keys->selectedIndex(), 0);
    history.clear();
    EXPECT_EQ(keys->selectedIndex(), -1);
    press(window.get(), "⎋↓⏎⌦");
    EXPECT_EQ(closeRequests, 1);
    NotificationCenter::defaultCenter().removeObserver(observer);
}

} // namespace
