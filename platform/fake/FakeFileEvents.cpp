#include "platform/fake/FakeFileEvents.h"

#include <algorithm>

namespace tarno {

struct FakeFileEvents::StreamState
{
    QStringList folders;
    TaskQueue *queue = nullptr;
    PathsCallback onPaths;
    bool alive = true;
};

class FakeFileEvents::Stream : public FileEventStream
{
public:
    explicit Stream(std::shared_ptr<StreamState> state) : m_state(std::move(state)) {}
    ~Stream() override
    {
        m_state->alive = false;
        m_state->onPaths = nullptr;
    }

private:
    std::shared_ptr<StreamState> m_state;
};

int FakeFileEvents::activeStreamCount() const
{
    return int(std::count_if(m_streams.begin(), m_streams.end(), [](const std::weak_ptr<StreamState> &weak) {
        const auto state = weak.lock();
        return state && state->alive;
    }));
}

QStringList FakeFileEvents::watchedFolders() const
{
    QStringList result;
    for (const auto &weak : m_streams) {
        const auto state = weak.lock();
        if (!state || !state->alive)
            continue;
        for (const QString &folder : state->folders) {
            if (!result.contains(folder))
                result.append(folder);
        }
    }
    return result;
}

void FakeFileEvents::emitPaths(const QStringList &paths)
{
    std::erase_if(m_streams, [](const std::weak_ptr<StreamState> &weak) {
        const auto state = weak.lock();
        return !state || !state->alive;
    });
    for (const auto &weak : m_streams) {
        const auto state = weak.lock();
        state->queue->async([state, paths] {
            if (!state->alive)
                return;
            const PathsCallback onPaths = state->onPaths; // the callback may end its own stream
            onPaths(paths);
        });
    }
}

std::unique_ptr<FileEventStream> FakeFileEvents::watch(const QStringList &folders, Milliseconds latency,
                                                       TaskQueue &queue, PathsCallback onPaths)
{
    requests.append(Request{folders, latency});
    if (failWatch)
        return nullptr;
    auto state = std::make_shared<StreamState>();
    state->folders = folders;
    state->queue = &queue;
    state->onPaths = std::move(onPaths);
    m_streams.push_back(state);
    return std::make_unique<Stream>(std::move(state));
}

} // namespace tarno
