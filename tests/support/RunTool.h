#pragma once

#include <QProcess>
#include <QStringList>

#include <string>
#include <vector>

namespace vantor::test {

struct ToolRun
{
    int status = -1;
    std::string out, err;
};

inline QStringList toArgs(const std::vector<std::string>& args)
{
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    return list;
}

// Runs the vantor tool to its end (at most 60 s).
inline ToolRun runTool(const std::vector<std::string>& args)
{
    QProcess process;
    process.start(VANTOR_TOOL, toArgs(args));
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

// A vantor process left running, read line by line.
class RunningTool
{
public:
    explicit RunningTool(const std::vector<std::string>& args) { process_.start(VANTOR_TOOL, toArgs(args)); }
    ~RunningTool() { stop(); }
    std::string readLine(int timeoutMs = 5000)
    {
        while (!process_.canReadLine() && process_.waitForReadyRead(timeoutMs)) {
        }
        return process_.readLine().trimmed().toStdString();
    }
    int stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(5000);
        }
        return process_.exitCode();
    }

private:
    QProcess process_;
};

inline RunningTool startTool(const std::vector<std::string>& args)
{
    return RunningTool(args);
}

} // namespace vantor::test
