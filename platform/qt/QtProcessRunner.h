#pragma once

#include "platform/api/ProcessRunner.h"

#include <chrono>

namespace tarno {

// Programs run with QProcess. Each child leads a process group of its own, so that on timeout the
// whole group (including anything a script started) is killed, and it is then reaped before `run`
// returns. Standard output is drained while waiting, so a talkative child cannot block on a full pipe.
class QtProcessRunner : public ProcessRunner
{
public:
    static constexpr std::chrono::milliseconds defaultWaitBound{5000};

    explicit QtProcessRunner(std::chrono::milliseconds waitBound = defaultWaitBound);
    ~QtProcessRunner() override;

    ProcessResult run(const QString &program, const QStringList &arguments) override;
    bool launchDetached(const QString &program, const QStringList &arguments) override;

private:
    std::chrono::milliseconds m_waitBound;
};

} // namespace tarno
