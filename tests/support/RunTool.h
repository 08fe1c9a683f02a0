#pragma once

#include "support/ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

namespace vantor::test {

struct ToolRun
{
    int status = -1;
    std::string out, err;
};

// Runs the vantor tool to its end (at most 60 s), with nothing on its standard input.
inline ToolRun runTool(const std::vector<std::string>& args)
{
    ChildProcess process;
    process.start(VANTOR_TOOL, args);
    process.closeStdin();
    process.waitFinished(60000);
    return {process.exitCode(), process.out(), process.err()};
}

// A vantor process left running, read line by line.
class RunningTool
{
public:
    explicit RunningTool(const std::vector<std::string>& args) : process_(std::make_unique<ChildProcess>())
    {
        process_->start(VANTOR_TOOL, args);
    }
    std::string readLine(int timeoutMs = 5000) { return process_->readLine(timeoutMs); }
    int stop()
    {
        process_->terminate();
        process_->waitFinished(5000);
        return process_->exitCode();
    }
    ~RunningTool()
    {
        if (process_)
            stop();
    }
    RunningTool(RunningTool&&) = default;

private:
    std::unique_ptr<ChildProcess> process_;
};

inline RunningTool startTool(const std::vector<std::string>& args)
{
    return RunningTool(args);
}

} // namespace vantor::test
