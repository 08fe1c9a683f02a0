#include "run/FleetUpload.h"

#include "console/SerialConsole.h"
#include "hostlink/CommandExchange.h"
#include "hostlink/Frame.h"
#include "hostlink/TimeoutText.h"
#include "record/ExitStatus.h"
#include "run/PlcUpload.h"
#include "upload/UploadProcedure.h"

#include <chrono>
#include <thread>

namespace vantor::run {

FleetUpload::Ended FleetUpload::run(const Plan& plan, LinesListener& listener, RunRecord* record)
{
    // The file is read and checked once; every PLC gets the same bytes.
    auto bytes = std::make_shared<std::string>();
    const upload::FileCheck check = upload::UploadProcedure::checkFile(plan.filePath, plan.stop, bytes.get());
    if (!check.ok())
        return {refuse(plan, check, listener, record), check.outcome};
    // A regular file is read again by each PLC's upload, compared with this check's SHA-256, so that
    // memory does not grow with the file; only what cannot be read twice (a pipe) is kept.
    std::shared_ptr<const std::string> contents;
    std::string sha256;
    if (!check.regular)
        contents = std::move(bytes);
    else
        sha256 = check.sha256;

    std::size_t plcs = 0;
    for (const Line& line : plan.lines)
        plcs += line.ids.size();
    std::vector<record::UploadRecord> results(plcs);
    std::vector<std::thread> threads;
    record::UploadRecord* slots = results.data();
    for (std::size_t l = 0; l < plan.lines.size(); ++l) {
        threads.emplace_back([&, l, slots] { runLine(plan, l, contents, sha256, listener, record, slots); });
        slots += plan.lines[l].ids.size();
    }
    for (auto& thread : threads)
        thread.join();
    return {std::move(results), std::nullopt};
}

std::vector<record::UploadRecord> FleetUpload::refuse(const Plan& plan, const upload::FileCheck& check,
                                                      LinesListener& listener, RunRecord* record)
{
    listener.fileRefused(check);
    std::vector<record::UploadRecord> results;
    for (const Line& line : plan.lines) {
        for (const std::int16_t id : line.ids) {
            record::UploadRecord r = newRecord(plan, line, id);
            r.setOutcome(check.outcome);
            r.detail = listener.refusedReason(check);
            PlcUpload::end(r, true, *listener.plc(r.port, r.id), record);
            results.push_back(r);
        }
    }
    return results;
}

void FleetUpload::runLine(const Plan& plan, std::size_t l, const std::shared_ptr<const std::string>& contents,
                          const std::string& sha256, LinesListener& listener, RunRecord* record,
                          record::UploadRecord* results)
{
    const Line& line = plan.lines[l];
    console::SerialConsole console(plan.catalog ? plan.catalog() : serial::PortCatalog(), plan.stop);
    setUpConsole(plan, l, listener, console);
    // A port that cannot be opened is not tried again for each further PLC: behind a serial server
    // that is down, each try would wait out the connection timeout.
    const record::UploadRecord* unopenable = nullptr;
    for (std::size_t i = 0; i < line.ids.size(); ++i) {
        record::UploadRecord& result = results[i];
        const std::string id = hostlink::Frame::renderHex(line.ids[i]);
        const auto shown = listener.plc(line.port, id);
        if (unopenable) {
            result = *unopenable;
            result.time = record::UploadRecord::utcTime(std::chrono::system_clock::now());
            result.id = id;
            result.seconds = 0;
            result.detail = "not tried, as the port could not be opened for PLC " + unopenable->id;
            PlcUpload::end(result, false, *shown, record);
            continue;
        }
        const bool reset = plan.reset;
        result = PlcUpload::run(console,
                                {plan.filePath, [&id] { return id; }, [reset] { return reset; }, contents,
                                 sha256, plan.attempts, plan.verifyReplies, plan.linkOnly},
                                newRecord(plan, line, line.ids[i]), *shown, record);
        if (result.status == record::exitstatus::PortNotOpenable)
            unopenable = &result;
        else if (!result.saved() && result.ending != upload::UploadOutcome::LinkAnswered)
            console.closePort(); // a dry run's answer leaves the line as fine as a saved upload does
    }
}

void FleetUpload::setUpConsole(const Plan& plan, std::size_t l, LinesListener& listener,
                               console::SerialConsole& console)
{
    const Line& line = plan.lines[l];
    console.setPortName(line.port);
    console.setSettings(line.settings);
    console.setTimeoutText(line.timeoutText);
    if (plan.setUp)
        plan.setUp(console, l);
    console.setLogSink([&listener](const std::string& text) { listener.log(text, false); });
    console.setWarningSink([&listener](const std::string& text) { listener.log(text, true); });
    console.setErrorSink([](const std::string&) {});
}

record::UploadRecord FleetUpload::newRecord(const Plan& plan, const Line& line, std::int16_t id)
{
    const int timeoutMs =
        hostlink::TimeoutText::effectiveMs(line.timeoutText, hostlink::CommandExchange::responseFallbackMs);
    return PlcUpload::newRecord(line.port, hostlink::Frame::renderHex(id), plan.filePath, line.settings,
                                timeoutMs, plan.reset, plan.stamp);
}

} // namespace vantor::run
