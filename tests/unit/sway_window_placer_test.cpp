// The popover's placement on sway as sway's IPC socket sees it: the subscription, and which command
// each window event brings back, however the stream is cut.
#include "platform/sway/SwayWindowPlacer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

constexpr quint32 windowEvent = 0x80000003;

QByteArray windowEventPayload(const QString &change, qint64 container, std::optional<quint64> window)
{
    QJsonObject node{{"id", container}, {"type", "floating_con"}};
    if (window)
        node.insert("window", qint64(*window));
    return QJsonDocument(QJsonObject{{"change", change}, {"container", node}}).toJson(QJsonDocument::Compact);
}

class SwayWindowPlacerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(folder.filePath("sway-ipc.sock")));
        placer = std::make_unique<SwayWindowPlacer>(folder.filePath("sway-ipc.sock"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return (client = server.nextPendingConnection()) != nullptr; }));
        const auto subscription = nextMessage();
        ASSERT_TRUE(subscription);
        EXPECT_EQ(subscription->type, 2u);
        EXPECT_EQ(subscription->payload, R"(["window"])");
    }

    // The next command the placer sends, or what came instead.
    QByteArray nextCommand()
    {
        const auto message = nextMessage();
        return !message             ? "<nothing>"
               : message->type != 0 ? "<type " + QByteArray::number(message->type) + ">"
                                    : message->payload;
    }
    // What the placer sends next.
    std::optional<SwayWindowPlacer::Message> nextMessage()
    {
        std::optional<SwayWindowPlacer::Message> message;
        [[maybe_unused]] const bool arrived = QTest::qWaitFor(
            [&] {
                received += client->readAll();
                return (message = SwayWindowPlacer::takeMessage(received)).has_value();
            },
            5000);
        return message;
    }
    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }

    QTemporaryDir folder;
    QLocalServer server;
    std::unique_ptr<SwayWindowPlacer> placer;
    QLocalSocket *client = nullptr;
    QByteArray received;
};

TEST_F(SwayWindowPlacerTest, MovesTheWindowItWasToldOfOnceWhenSwayMapsIt)
{
    placer->placeWhenMapped(0x400012, QPoint(1552, 26));
    // Replies, other changes and other windows, one of them a Wayland window with no X id: nothing.
    QByteArray stream = SwayWindowPlacer::frame(2, R"({"success":true})");
    stream += SwayWindowPlacer::frame(windowEvent, windowEventPayload("focus", 7, 0x400012));
    stream += SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 8, 0x600001));
    stream += SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 9, std::nullopt));
    // The one that counts arrives in pieces, cut inside its header and its payload.
    stream += SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 41, 0x400012));
    const qsizetype cuts[] = {3, 11, stream.size() - 20, stream.size()};
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        send(stream.mid(from, cut - from));
        from = cut;
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(nextCommand(), "[con_id=41] move absolute position 1552 26");

    // Used up: the same window mapped again is left where sway puts it, unless told anew. Another
    // window's move, asked after, is the next command: none came in between.
    placer->placeWhenMapped(0x500001, QPoint(5, 6));
    send(SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 42, 0x400012)));
    send(SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 50, 0x500001)));
    EXPECT_EQ(nextCommand(), "[con_id=50] move absolute position 5 6");

    // The newest wish holds; one for a window closed before sway mapped it is dropped.
    placer->placeWhenMapped(0x400012, QPoint(10, 20));
    placer->placeWhenMapped(0x400012, QPoint(30, 40));
    placer->placeWhenMapped(0x500001, QPoint(7, 8));
    placer->forget(0x500001);
    send(SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 51, 0x500001)));
    send(SwayWindowPlacer::frame(windowEvent, windowEventPayload("new", 43, 0x400012)));
    EXPECT_EQ(nextCommand(), "[con_id=43] move absolute position 30 40");
}

TEST(SwayIpcFramingTest, TakesWholeMessagesOnlyAndDropsAStreamThatIsNotSways)
{
    QByteArray buffer = SwayWindowPlacer::frame(0, "abc") + SwayWindowPlacer::frame(7, "");
    const QByteArray whole = buffer;
    for (qsizetype size = 0; size < 14 + 3; ++size) {
        QByteArray part = whole.left(size);
        EXPECT_FALSE(SwayWindowPlacer::takeMessage(part)) << size;
        EXPECT_EQ(part.size(), size) << "a partial message was consumed";
    }
    const auto first = SwayWindowPlacer::takeMessage(buffer);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, 0u);
    EXPECT_EQ(first->payload, "abc");
    const auto second = SwayWindowPlacer::takeMessage(buffer);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->type, 7u);
    EXPECT_TRUE(second->payload.isEmpty());
    EXPECT_TRUE(buffer.isEmpty());

    // A length no event could have is not waited for.
    QByteArray absurd = SwayWindowPlacer::frame(0, "");
    absurd.replace(6, 4, "\xff\xff\xff\x7f");
    EXPECT_FALSE(SwayWindowPlacer::takeMessage(absurd));
    EXPECT_TRUE(absurd.isEmpty());
}

} // namespace
