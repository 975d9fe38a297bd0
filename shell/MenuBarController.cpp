#include "shell/MenuBarController.h"

#include "model/ClipboardHistoryViewModel.h"
#include "model/GleanerySettings.h"
#include "platform/api/Application.h"
#include "platform/api/NotificationCenter.h"
#include "platform/api/StatusItem.h"
#include "shell/MenuBarDropView.h"
#include "shell/PopoverHostController.h"
#include "shell/ShellServices.h"
#include "ui/PopoverView.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShortcutSetting.h"

#include <utility>

namespace tarno {

template <typename Body> auto MenuBarController::weakly(Body body) const
{
    return [self = std::weak_ptr<MenuBarController *>(m_self), body](auto &&...arguments) {
        if (const auto controller = self.lock())
            body(**controller, std::forward<decltype(arguments)>(arguments)...);
    };
}

MenuBarController::MenuBarController(Environment environment)
    : m_historyViewModel(std::make_unique<ClipboardHistoryViewModel>(environment.runtime, environment.codec)),
      m_environment(environment), m_self(std::make_shared<MenuBarController *>(this))
{
    ShellServices *services = &environment.services;
    m_settings = std::make_unique<GleanerySettings>(
        environment.settingsStore, [services] { return services->enableClipboardScreenshots(); });
    m_shortcut = std::make_unique<ShortcutSetting>(*m_settings, environment.globalShortcut);
}

MenuBarController::~MenuBarController()
{
    m_self.reset();
    // The status item shows the view, so it goes first; the popover's content reads the stores, so
    // it goes before them.
    m_statusItem.reset();
    m_menuBarView.reset();
    if (m_popover)
        m_popover->setDelegate(nullptr);
    m_popoverHost.reset();
    m_popover.reset();
    m_environment.globalShortcut.setActivatedHandler({});
    m_shortcut->release();
}

void MenuBarController::setup()
{
    if (m_lifecycle != Lifecycle::constructed)
        return;
    m_lifecycle = Lifecycle::running;
    setupInterface();

    ShellServices &services = m_environment.services;
    if (m_settings->screenshotsUseClipboard())
        services.enableClipboardScreenshots();
    services.startCleanup(*m_historyViewModel, *m_settings);
    const auto capture =
        weakly([](MenuBarController &self, const ClipboardItem &item) { self.handleCapturedItem(item); });
    const ClipboardHistoryViewModel *history = m_historyViewModel.get();
    services.startMonitor(capture, [history]() -> std::optional<ClipboardItem> {
        if (history->items().isEmpty())
            return std::nullopt;
        return history->items().first();
    });
    services.startWatcher(capture);
}

void MenuBarController::teardown()
{
    if (m_lifecycle != Lifecycle::running)
        return;
    m_lifecycle = Lifecycle::tornDown;
    ShellServices &services = m_environment.services;
    services.stopWatcher();
    services.stopCleanup();
    services.stopMonitor();
    teardownInterface();
}

void MenuBarController::setupInterface()
{
    m_environment.globalShortcut.setActivatedHandler(
        weakly([](MenuBarController &self) { self.togglePopover(Opening::keyboard); }));
    m_shortcut->apply();

    auto view = std::make_unique<MenuBarDropView>();
    view->onLeftClick = weakly([](MenuBarController &self) { self.togglePopover(); });
    view->onRightClick = weakly([](MenuBarController &self) { self.showContextMenu(); });
    view->onDropCaptures = weakly([](MenuBarController &self, const PasteboardCaptures &captures) {
        self.handleDroppedCaptures(captures);
    });
    view->onDragEntered = weakly([](MenuBarController &self) {
        if (self.m_popover && self.m_menuBarView && !self.m_popover->isShown())
            self.showPopover();
    });
    const auto isCapturingPaused = [self = std::weak_ptr<MenuBarController *>(m_self)] {
        const auto controller = self.lock();
        return controller && (*controller)->isCapturingPaused();
    };
    view->isCapturingPaused = isCapturingPaused;
    view->onPlaced = weakly([](MenuBarController &self) {
        self.m_isPlaced = true;
        if (self.m_showsWhenPlaced)
            self.m_environment.runtime.mainQueue().async(self.weakly([](MenuBarController &controller) {
                if (std::exchange(controller.m_showsWhenPlaced, false))
                    controller.showPopover(Opening::keyboard);
            }));
    });
    view->contextMenuItems = [self = std::weak_ptr<MenuBarController *>(m_self)] {
        const auto controller = self.lock();
        return controller ? (*controller)->contextMenuItems() : QList<MenuItem>();
    };
    m_statusItem = m_environment.statusBar.makeStatusItem(*view, MenuBarDropView::defaultSize);
    view->setNeedsDisplayHandler(weakly([](MenuBarController &self) {
        if (self.m_statusItem)
            self.m_statusItem->setNeedsDisplay();
    }));
    m_menuBarView = std::move(view);

    std::shared_ptr<Popover> popover = m_environment.makePopover();
    popover->setDelegate(this);
    popover->setContentSize(popoverContentSize);
    ClipboardHistoryViewModel *history = m_historyViewModel.get();
    GleanerySettings *settings = m_settings.get();
    DropCapturesCallback onDropCaptures =
        weakly([](MenuBarController &self, const PasteboardCaptures &captures) {
            self.handleDroppedCaptures(captures);
        });
    ShortcutSetting *shortcut = m_shortcut.get();
    PopoverContentView *content =
        popover->setContentView([history, settings, onDropCaptures, isCapturingPaused,
                                 shortcut](QQmlEngine &engine, QQuickItem *parent) {
            return createPopoverView(engine, parent, *history, *settings, onDropCaptures, isCapturingPaused,
                                     std::nullopt, shortcut);
        });
    m_popoverHost = std::make_unique<PopoverHostController>(content, m_environment.runtime);
    m_popover = std::move(popover);
    m_closeRequestObserver =
        m_environment.notifications.addObserver(PopoverViewModel::closeRequestNotification,
                                                weakly([](MenuBarController &self) { self.closePopover(); }));
}

void MenuBarController::teardownInterface()
{
    m_environment.notifications.removeObserver(std::exchange(m_closeRequestObserver, 0));
    closePopover();
    m_statusItem.reset();
    m_menuBarView.reset();
    if (m_popover)
        m_popover->setDelegate(nullptr);
    m_popover.reset();
    m_popoverHost.reset();
    m_environment.globalShortcut.setActivatedHandler({});
    m_shortcut->release();
}

bool MenuBarController::isCapturingPaused() const
{
    return m_environment.services.isCapturingPaused();
}

void MenuBarController::setCapturingPaused(bool paused)
{
    if (paused == isCapturingPaused())
        return;
    m_environment.services.setCapturingPaused(paused);
    if (m_statusItem)
        m_statusItem->setNeedsDisplay();
    m_environment.notifications.post(capturingPausedNotification);
}

void MenuBarController::handleCapturedItem(const ClipboardItem &item)
{
    m_historyViewModel->add(item);
}

void MenuBarController::handleDroppedCaptures(const PasteboardCaptures &captures)
{
    if (captures.isEmpty())
        return;
    m_environment.services.pauseMonitor();
    m_historyViewModel->addCaptures(captures);
}

void MenuBarController::togglePopover(Opening opening)
{
    if (!m_popover || !m_menuBarView)
        return;
    if (m_popover->isShown())
        closePopover();
    else
        showPopover(opening);
}

void MenuBarController::showPopoverWhenPlaced()
{
    if (!m_popover || m_popover->isShown())
        return;
    if (m_isPlaced || (m_statusItem && !m_statusItem->screenRect().isEmpty()))
        showPopover(Opening::keyboard);
    else
        m_showsWhenPlaced = true;
}

void MenuBarController::togglePopoverWhenPlaced()
{
    if (m_popover && m_popover->isShown()) {
        closePopover();
        return;
    }
    // A second toggle before the item has found its place takes the first one back.
    if (!std::exchange(m_showsWhenPlaced, false))
        showPopoverWhenPlaced();
}

void MenuBarController::showPopover(Opening opening)
{
    if (!m_popover)
        return;
    m_environment.services.applyRetention(*m_historyViewModel, *m_settings);
    // Before it shows, so that the content takes the keys with the newest clip selected.
    if (opening == Opening::keyboard && !m_popover->isShown())
        m_environment.notifications.post(PopoverViewModel::keyboardSessionNotification);
    m_popover->show(m_statusItem ? m_statusItem->screenRect() : QRectF());
    m_popoverState = PopoverState::shown;
    if (m_popoverHost)
        m_popoverHost->animateIn();
    removeClickMonitors();
    installClickMonitors();
}

void MenuBarController::installClickMonitors()
{
    // The check waits for the main loop's next turn, so that the status item's own click handling
    // has run first.
    const auto scheduleCheck = weakly([](MenuBarController &self) {
        self.m_environment.runtime.mainQueue().async(
            self.weakly([](MenuBarController &controller) { controller.closePopoverIfClickOutside(); }));
    });
    EventMonitors &monitors = m_environment.eventMonitors;
    m_globalClickMonitor = monitors.addGlobalMouseDownMonitor(scheduleCheck);
    m_localClickMonitor = monitors.addLocalMouseDownMonitor(scheduleCheck);
}

void MenuBarController::removeClickMonitors()
{
    EventMonitors &monitors = m_environment.eventMonitors;
    if (m_globalClickMonitor)
        monitors.removeMonitor(*m_globalClickMonitor);
    if (m_localClickMonitor)
        monitors.removeMonitor(*m_localClickMonitor);
    m_globalClickMonitor.reset();
    m_localClickMonitor.reset();
}

void MenuBarController::closePopoverIfClickOutside()
{
    if (!m_popover || !m_popover->isShown() || !m_popoverHost)
        return;
    const std::optional<QRectF> frame = m_popover->windowFrame();
    if (!frame)
        return;
    const QPointF location = m_environment.eventMonitors.mouseLocation();
    if (frame->contains(location))
        return;
    if (m_menuBarView) {
        const QRectF itemRect = m_statusItem ? m_statusItem->screenRect() : QRectF();
        if (itemRect.contains(location))
            return;
    }
    closePopover();
}

void MenuBarController::closePopover()
{
    removeClickMonitors();
    if (!m_popover || !m_popover->isShown())
        return;
    // A second request while the disappear animation runs would announce the same close twice.
    if (m_popoverState == PopoverState::closing)
        return;
    m_popoverState = PopoverState::closing;
    const quint64 sequence = ++m_closeSequence;
    m_environment.notifications.post(popoverWillCloseNotification);

    auto close = [popover = std::weak_ptr<Popover>(m_popover),
                  self = std::weak_ptr<MenuBarController *>(m_self), sequence] {
        const auto controller = self.lock();
        if (controller && (*controller)->m_closeSequence != sequence)
            return;
        if (controller && (*controller)->m_popoverState != PopoverState::closing)
            return;
        if (const auto shown = popover.lock())
            shown->performClose();
    };
    if (m_popoverHost)
        m_popoverHost->animateOut(std::move(close));
    else
        close();
}

void MenuBarController::popoverDidClose()
{
    m_popoverState = PopoverState::hidden;
    // A combination half recorded when the popover went away is not the user's choice.
    m_shortcut->cancelRecording();
    m_environment.runtime.mainQueue().async(
        weakly([](MenuBarController &self) { self.removeClickMonitors(); }));
}

QList<MenuItem> MenuBarController::contextMenuItems()
{
    // Chosen, the item asks for the opposite of what it showed.
    const bool paused = isCapturingPaused();
    const MenuItem pause{pauseTitle, QString(),
                         weakly([paused](MenuBarController &self) { self.setCapturingPaused(!paused); }),
                         true, paused};
    Application *application = &m_environment.application;
    const MenuItem quit{quitTitle, quitKeyEquivalent, [application] { application->terminate(); }};
    return {pause, quit};
}

void MenuBarController::showContextMenu()
{
    if (!m_menuBarView || !m_statusItem)
        return;
    const QSizeF bounds = MenuBarDropView::defaultSize;
    m_statusItem->popUpMenu(contextMenuItems(), QPointF(bounds.width() / 2, bounds.height()));
}

} // namespace tarno
