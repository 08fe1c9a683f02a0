#include "run/EachUpload.h"

#include "console/SerialConsole.h"
#include "hostlink/CommandExchange.h"
#include "hostlink/Frame.h"
#include "run/PlcUpload.h"
#include "upload/ReplyCheck.h"
#include "upload/UploadProcedure.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantor::run {

namespace {

using Clock = std::chrono::steady_clock;

// Waits ms, asking stop every few ms; false when it asked.
bool pause(int ms, const serial::StopToken& stop)
{
    constexpr int sliceMs = 20;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        if (stop.requested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
    }
    return !stop.requested();
}

int elapsedMs(Clock::time_point since)
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The first line of a reply, as the upload judges it.
std::string firstLine(const std::string& reply)
{
    return reply.substr(0, reply.find_first_of("\r\n"));
}

} // namespace

EachUpload::Ended EachUpload::run(const Plan& plan, EachListener& listener, RunRecord* record)
{
    const FleetUpload::Plan& upload = plan.upload;
    auto bytes = std::make_shared<std::string>();
    const upload::FileCheck check =
        upload::UploadProcedure::checkFile(upload.filePath, upload.stop, bytes.get());
    if (!check.ok()) {
        listener.fileRefused(check);
        return {{}, check.outcome};
    }
    std::shared_ptr<const std::string> contents;
    std::string sha256;
    if (!check.regular)
        contents = std::move(bytes);
    else
        sha256 = check.sha256;

    Shared shared;
    std::vector<std::thread> threads;
    for (std::size_t l = 0; l < upload.lines.size(); ++l) {
        threads.emplace_back([&, l] {
            console::SerialConsole console(upload.catalog ? upload.catalog() : serial::PortCatalog(),
                                           upload.stop);
            const FleetUpload::Line& line = upload.lines[l];
            // A port's problems are said by waitingForPort and the uploads' captions.
            FleetUpload::setUpConsole(upload, l, listener, console);
            LineRun run{plan, line, console, listener, record, shared, contents, sha256};
            runLine(run);
        });
    }
    for (auto& thread : threads)
        thread.join();
    return {std::move(shared.results), std::nullopt};
}

void EachUpload::runLine(LineRun& run)
{
    const serial::StopToken& stop = run.plan.upload.stop;
    while (!stop.requested()) {
        if (!waitForPort(run))
            return;
        run.listener.waitingForPlc(run.line.port);
        const Heard heard = waitForAnswer(run);
        if (heard == Heard::Stopped)
            return;
        if (heard == Heard::PortFailed) { // gone before any PLC answered: wait for the port again
            run.console.closePort();
            continue;
        }
        uploadAll(run);
        waitUntilGone(run);
    }
}

bool EachUpload::waitForPort(LineRun& run)
{
    std::string said;
    const serial::StopToken& stop = run.plan.upload.stop;
    while (!stop.requested()) {
        if (run.console.isOpen() || run.console.openPort())
            return true;
        std::string problem = run.console.lastPortProblem();
        if (problem.empty())
            problem = "the port could not be opened";
        if (problem != said)
            run.listener.waitingForPort(run.line.port, problem);
        said = problem;
        if (!pause(std::max(run.plan.intervalMs, 1), stop))
            return false;
    }
    return false;
}

EachUpload::Heard EachUpload::waitForAnswer(LineRun& run)
{
    for (;;) {
        const Heard heard = askRound(run);
        if (heard != Heard::Silence)
            return heard;
        if (!pause(std::max(run.plan.intervalMs, 1), run.plan.upload.stop))
            return Heard::Stopped;
    }
}

EachUpload::Heard EachUpload::askRound(LineRun& run)
{
    for (const std::int16_t id : run.line.ids) {
        const Heard heard = linkTest(run.console, id);
        if (heard != Heard::Silence)
            return heard;
    }
    return Heard::Silence;
}

EachUpload::Heard EachUpload::linkTest(console::SerialConsole& console, std::int16_t id)
{
    hostlink::CommandExchange& exchange = console.exchange();
    if (exchange.stopRequested())
        return Heard::Stopped;
    const std::string frame = hostlink::Frame::build(id, "C2");
    const std::string idHex = hostlink::Frame::renderHex(id);
    hostlink::ExchangeResult result = exchange.sendCommand(frame);
    using Verdict = upload::ReplyCheck::Verdict;
    Verdict verdict = upload::ReplyCheck::judge(firstLine(result.response), frame, idHex, "C2", false);
    // A line that returns what is sent: the PLC's answer, if any, follows the copy.
    if (result.status == hostlink::ExchangeStatus::Response && verdict == Verdict::OwnCopy) {
        result = exchange.readFollowing();
        verdict = upload::ReplyCheck::judge(firstLine(result.response), frame, idHex, "C2", false);
    }
    if (result.status == hostlink::ExchangeStatus::Interrupted)
        return Heard::Stopped;
    if (result.portFailed())
        return Heard::PortFailed;
    return result.status == hostlink::ExchangeStatus::Response && verdict == Verdict::Echo ? Heard::Answer
                                                                                           : Heard::Silence;
}

void EachUpload::uploadAll(LineRun& run)
{
    const FleetUpload::Plan& plan = run.plan.upload;
    std::vector<std::string> ids;
    for (const std::int16_t id : run.line.ids)
        ids.push_back(hostlink::Frame::renderHex(id));
    run.listener.arrived(run.line.port, ids);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string& id = ids[i];
        const bool reset = plan.reset;
        upload::UploadInput input{plan.filePath,     [&id] { return id; }, [reset] { return reset; },
                                  run.contents,      run.sha256,           plan.attempts,
                                  plan.verifyReplies};
        const record::UploadRecord result =
            PlcUpload::run(run.console, input, FleetUpload::newRecord(plan, run.line, run.line.ids[i]),
                           *run.listener.plc(run.line.port, id), run.record);
        int count = 0;
        {
            const std::lock_guard<std::mutex> lock(run.shared.mutex);
            run.shared.results.push_back(result);
            count = ++run.shared.count;
        }
        run.listener.counted(count, result);
        // The next one starts on a fresh opening, as FleetUpload's do after a failure.
        if (!result.saved())
            run.console.closePort();
    }
}

void EachUpload::waitUntilGone(LineRun& run)
{
    const auto uploaded = Clock::now();
    bool said = false;
    int silentRounds = 0;
    Clock::time_point silentSince;
    for (;;) {
        const auto asked = Clock::now();
        const Heard heard = askRound(run);
        if (heard == Heard::Stopped)
            return;
        if (heard == Heard::PortFailed) {
            run.console.closePort();
            run.listener.gone(run.line.port, true);
            return;
        }
        if (heard == Heard::Answer) {
            silentRounds = 0;
            if (!said && elapsedMs(uploaded) >= run.plan.stillConnectedMs) {
                run.listener.stillConnected(run.line.port, elapsedMs(uploaded) / 1000);
                said = true;
            }
        } else if (silentRounds++ == 0) {
            silentSince = asked;
        } else if (elapsedMs(silentSince) >= run.plan.goneMs) {
            run.listener.gone(run.line.port, false);
            return;
        }
        if (!pause(std::max(run.plan.intervalMs, 1), run.plan.upload.stop))
            return;
    }
}

} // namespace vantor::run
