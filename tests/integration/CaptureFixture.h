#pragma once

// The capture core as the program composes it over the real platform: a clipboard monitor over the
// clipboard the platform chose and the history store it feeds, in a home of the suite's own.
#include "capture/ClipboardMonitor.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtRuntime.h"
#include "tests/integration/X11TestSupport.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tarno::integration {

class CaptureFixture : public ::testing::Test
{
protected:
    // Nothing here may touch the real home or settings: both point into a folder of the suite's own
    // before the platform, which opens the settings file, is made.
    static void SetUpTestSuite()
    {
        QStandardPaths::setTestModeEnabled(true);
        s_home = new QTemporaryDir;
        qputenv("HOME", s_home->path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (s_home->path() + "/.config").toLocal8Bit());
    }
    static void TearDownTestSuite()
    {
        delete s_home;
        s_home = nullptr;
    }

    void SetUp() override
    {
        s_warnings.clear();
        m_previousHandler = qInstallMessageHandler(recordWarnings);
    }
    void TearDown() override
    {
        if (m_monitor)
            m_monitor->stop();
        m_monitor.reset();
        m_history.reset();
        m_platform.reset();
        qInstallMessageHandler(m_previousHandler);
    }

    // Composes the core and starts the monitor, as the program does at launch.
    void startCapturing()
    {
        m_platform = std::make_unique<QtPlatform>();
        Platform::install(m_platform->platform());
        m_history = std::make_unique<ClipboardHistoryViewModel>(m_platform->runtime(), codec());
        m_monitor =
            std::make_unique<ClipboardMonitor>(m_platform->runtime(), m_platform->pasteboard(), codec());
        m_monitor->start([this](const ClipboardItem &item) { m_history->add(item); },
                         [this]() -> std::optional<ClipboardItem> {
                             return clips().isEmpty() ? std::nullopt : std::optional(clips().first());
                         });
        m_platform->onPasteboardChanged([this] { m_monitor->pasteboardDidChange(); });
        m_platform->onPasteboardOwnerGone([this] { m_monitor->pasteboardOwnerGone(); });
    }

    const ImageCodec &codec() const { return *m_platform->platform().codec; }
    const QList<ClipboardItem> &clips() const { return m_history->items(); }
    bool waitForClips(qsizetype count) const
    {
        return QTest::qWaitFor([&] { return clips().size() >= count; }, waitMs);
    }

    // Warnings and worse from Qt or our own code, recorded instead of printed.
    static void recordWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            s_warnings << message;
    }
    static inline QStringList s_warnings;
    static inline QTemporaryDir *s_home = nullptr;

    std::unique_ptr<QtPlatform> m_platform;
    std::unique_ptr<ClipboardHistoryViewModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace tarno::integration
