#include "platform/fake/FakeFileEvents.h"
#include "platform/fake/ManualRuntime.h"

#include <gtest/gtest.h>

using namespace tarno;
using namespace std::chrono_literals;

namespace {

TEST(FakeFileEventsTest, RecordsRequestsAndDeliversOnTheGivenQueueToLiveStreamsOnly)
{
    ManualRuntime runtime;
    auto queue = runtime.makeSerialQueue("events");
    FakeFileEvents events;
    QList<QStringList> received;
    auto stream = events.watch({"/home/u/Desktop", "/missing"}, 150ms, *queue,
                               [&](const QStringList &paths) { received.append(paths); });
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(events.requests.size(), 1);
    EXPECT_EQ(events.requests.first().folders, (QStringList{"/home/u/Desktop", "/missing"}));
    EXPECT_EQ(events.requests.first().latency, 150ms);
    EXPECT_EQ(events.watchedFolders(), (QStringList{"/home/u/Desktop", "/missing"}));

    events.emitPaths({"/home/u/Desktop/a.png", "/elsewhere/b.png"});
    EXPECT_TRUE(received.isEmpty());
    EXPECT_EQ(runtime.pendingCount("events"), 1);
    runtime.runUntilIdle();
    EXPECT_EQ(received, (QList<QStringList>{{"/home/u/Desktop/a.png", "/elsewhere/b.png"}}));

    // Queued before the stream ended, or asked of a refusing watch: nothing arrives.
    events.emitPaths({"/home/u/Desktop/queued-before-the-end.png"});
    stream.reset();
    EXPECT_EQ(events.activeStreamCount(), 0);
    EXPECT_TRUE(events.watchedFolders().isEmpty());
    events.failWatch = true;
    EXPECT_EQ(events.watch({"/b"}, 150ms, *queue, [&](const QStringList &paths) { received.append(paths); }),
              nullptr);
    EXPECT_EQ(events.requests.size(), 2);
    events.emitPaths({"/b/x.png"});
    runtime.runUntilIdle();
    EXPECT_EQ(received.size(), 1);
}

} // namespace
