#pragma once

#include "platform/api/Application.h"

#include <functional>

namespace tarno {

// Counts terminations; `onTerminate` lets a test run what the program would do next.
class FakeApplication : public Application
{
public:
    void terminate() override
    {
        ++terminateCount;
        if (onTerminate)
            onTerminate();
    }

    int terminateCount = 0;
    std::function<void()> onTerminate;
};

} // namespace tarno
