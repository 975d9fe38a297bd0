// The Wayland clipboard over each data-control protocol a compositor may offer: ext's, wlroots', or
// both, from a compositor of the test's own (DataControlCompositor) that offers what each case asks.
// The other programs are clients of our own on DataControl, which then speaks the same protocol.
#include "model/ClipExport.h"
#include "platform/wayland/WaylandClipboard.h"
#include "tests/integration/CaptureFixture.h"
#include "tests/integration/DataControlCompositor.h"
#include "tests/integration/WaylandTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <ostream>
#include <unistd.h>

using namespace tarno;
using namespace tarno::integration;

namespace {

// Long enough for a pause (0.6 s) to end and a copy to be seen twice over.
constexpr int pastPauseMs = 1100;

struct Offering
{
    const char *name;
    bool ext;
    bool wlr;
    // The manager every client must bind.
    const char *expected;
};

const Offering offerings[] = {
    {"ExtOnly", true, false, "ext_data_control_manager_v1"},
    {"WlrOnly", false, true, "zwlr_data_control_manager_v1"},
    {"Both", true, true, "ext_data_control_manager_v1"},
};

void PrintTo(const Offering &offering, std::ostream *out)
{
    *out << offering.name;
}

// Another program that pastes, on the test's thread: it brings its view of the selection up to date
// only when asked, while the event loop runs, since Tarno answers from it.
class Paster final : private DataControl::Events
{
public:
    Paster() : m_display(wl_display_connect(nullptr))
    {
        if (m_display)
            m_control = DataControl::connect(m_display, this);
    }
    ~Paster() override
    {
        if (m_control) {
            for (auto it = m_offers.cbegin(); it != m_offers.cend(); ++it)
                m_control->destroyOffer(it.key());
            if (m_offer)
                m_control->destroyOffer(m_offer);
        }
        m_control.reset();
        if (m_display)
            wl_display_disconnect(m_display);
    }
    Paster(const Paster &) = delete;
    Paster &operator=(const Paster &) = delete;

    bool isConnected() const { return m_control != nullptr; }

    // Waits until the selection offers `type`; the selection's types, or none when it never did.
    QStringList waitForType(const QString &type)
    {
        const bool offered = QTest::qWaitFor(
            [&] { return wl_display_roundtrip(m_display) >= 0 && m_offer && m_types.contains(type); },
            waitMs);
        return offered ? m_types : QStringList();
    }

    // The selection's bytes in `type`; empty unless its source wrote them and closed the pipe.
    QByteArray paste(const QString &type)
    {
        int fds[2];
        if (!m_offer || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return {};
        m_control->receive(m_offer, type.toUtf8(), fds[1]);
        close(fds[1]);
        wl_display_flush(m_display);
        QByteArray data;
        const bool ended = QTest::qWaitFor(
            [&] {
                char buffer[65536];
                ssize_t got;
                while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
                    data.append(buffer, got);
                return got == 0;
            },
            waitMs);
        close(fds[0]);
        return ended ? data : QByteArray();
    }

private:
    void offerCreated(void *offer) override { m_offers.insert(offer, {}); }
    void offerType(void *offer, const char *type) override { m_offers[offer] << QString::fromUtf8(type); }
    void selection(void *offer) override
    {
        if (m_offer)
            m_control->destroyOffer(m_offer);
        m_offer = offer;
        m_types = offer ? m_offers.take(offer) : QStringList();
    }
    void primarySelection(void *offer) override
    {
        if (offer && m_offers.remove(offer))
            m_control->destroyOffer(offer);
    }
    void finished() override {}
    void send(void *, const char *, int fd) override { close(fd); }
    void cancelled(void *) override {}

    wl_display *m_display;
    std::unique_ptr<DataControl> m_control;
    QHash<void *, QStringList> m_offers;
    void *m_offer = nullptr;
    QStringList m_types;
};

class DataControlProtocolsTest : public CaptureFixture, public ::testing::WithParamInterface<Offering>
{
protected:
    void SetUp() override
    {
        CaptureFixture::SetUp();
        m_compositor = std::make_unique<DataControlCompositor>(GetParam().ext, GetParam().wlr);
        ASSERT_TRUE(m_compositor->isReady()) << "the compositor could not be started";
        m_compositor->enter();
    }
    void TearDown() override
    {
        CaptureFixture::TearDown();
        EXPECT_TRUE(s_warnings.isEmpty()) << s_warnings.join('\n').toStdString();
        if (!m_compositor)
            return;
        const QStringList errors = m_compositor->protocolErrors();
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
        // Tarno and the other programs alike; none bound the protocol it should have passed over.
        const QStringList bound = m_compositor->boundManagers();
        EXPECT_FALSE(bound.isEmpty());
        EXPECT_EQ(bound.count(GetParam().expected), bound.size()) << bound.join(' ').toStdString();
        m_compositor.reset();
    }

    void startCapturing()
    {
        CaptureFixture::startCapturing();
        ASSERT_NE(m_platform->waylandClipboard(), nullptr) << "the Wayland clipboard was not chosen";
        ASSERT_TRUE(m_platform->waylandClipboard()->isWatching());
        EXPECT_EQ(m_platform->waylandClipboard()->protocolName().toStdString(), GetParam().expected);
    }

    std::unique_ptr<DataControlCompositor> m_compositor;
};

TEST_P(DataControlProtocolsTest, AnotherProgramsTextAndPictureBecomeTheRightClips)
{
    {
        ScriptedSource before({{"text/plain;charset=utf-8", "there before Tarno"}}, true);
        ASSERT_TRUE(before.isSelection());
        startCapturing();
        QTest::qWait(pastPauseMs);
        EXPECT_TRUE(clips().isEmpty()) << "what was there at start became a clip";
    }

    ScriptedSource text({{"text/plain;charset=utf-8", "  copied over data control ✓\n"}}, true);
    ASSERT_TRUE(text.isSelection());
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().kind, ClipboardItemKind::text);
    EXPECT_EQ(clips().first().text, "copied over data control ✓");

    const QByteArray png = screenshotPng();
    {
        ScriptedSource picture({{"image/png", png}}, true);
        ASSERT_TRUE(picture.isSelection());
        ASSERT_TRUE(waitForClips(2));
        EXPECT_EQ(clips().first().kind, ClipboardItemKind::image);
        EXPECT_TRUE(clips().first().imageData == pngData(codec(), png).value_or("(no PNG)"));
    }
    // Its program gone, the newest clip stays on the clipboard, served by Tarno now.
    Paster paster;
    ASSERT_TRUE(paster.isConnected());
    ASSERT_FALSE(paster.waitForType("image/png").isEmpty())
        << "the picture left the clipboard with its program";
    EXPECT_TRUE(paster.paste("image/png") == png);
    QTest::qWait(pastPauseMs);
    EXPECT_EQ(clips().size(), 2) << "one clip per copy, and none for serving the newest again";
}

TEST_P(DataControlProtocolsTest, ClipsGivenBackAreReadByAnotherProgramAndNeverCapturedAgain)
{
    startCapturing();
    Paster paster;
    ASSERT_TRUE(paster.isConnected());

    const ClipboardItem text = ClipboardItem::makeText("given back by Tarno ✓", m_platform->runtime().now());
    m_monitor->pauseBriefly();
    copyToPasteboard(text, m_platform->pasteboard(), codec());
    ASSERT_FALSE(paster.waitForType("text/plain;charset=utf-8").isEmpty());
    EXPECT_EQ(QString::fromUtf8(paster.paste("text/plain;charset=utf-8")), "given back by Tarno ✓");
    EXPECT_EQ(QString::fromUtf8(paster.paste("UTF8_STRING")), "given back by Tarno ✓");

    const QByteArray png = pngData(codec(), screenshotPng()).value_or("(no PNG)");
    m_monitor->pauseBriefly();
    copyToPasteboard(ClipboardItem::makeImage(png, m_platform->runtime().now()), m_platform->pasteboard(),
                     codec());
    ASSERT_FALSE(paster.waitForType("image/png").isEmpty());
    EXPECT_TRUE(paster.paste("image/png") == png);

    QTest::qWait(pastPauseMs);
    EXPECT_TRUE(clips().isEmpty()) << "our own writes came back as clips";

    // Taking the selection from Tarno cancels its source; the monitor is still listening.
    ScriptedSource after({{"text/plain;charset=utf-8", "after our own writes"}}, true);
    ASSERT_TRUE(after.isSelection());
    ASSERT_TRUE(waitForClips(1));
    EXPECT_EQ(clips().first().text, "after our own writes");
}

INSTANTIATE_TEST_SUITE_P(Offerings, DataControlProtocolsTest, ::testing::ValuesIn(offerings),
                         [](const ::testing::TestParamInfo<Offering> &info) { return info.param.name; });

} // namespace
