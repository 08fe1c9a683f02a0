#include "cli/FleetUpload.h"

#include "cli/ExitStatus.h"
#include "cli/PlcReporter.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "upload/UploadProcedure.h"

#include <chrono>
#include <thread>

namespace vantor::cli {

using console::StopSignals;

std::vector<PlcResult> FleetUpload::run(const Plan& plan, FleetReporter& reporter)
{
    std::size_t plcs = 0;
    for (const auto& ids : plan.ids)
        plcs += ids.size();
    std::vector<PlcResult> results(plcs);
    std::vector<std::thread> threads;
    PlcResult* slots = results.data();
    for (std::size_t p = 0; p < plan.ports.size(); ++p) {
        threads.emplace_back([&plan, &reporter, p, slots] { runPort(plan, p, reporter, slots); });
        slots += plan.ids[p].size();
    }
    for (auto& thread : threads)
        thread.join();
    return results;
}

void FleetUpload::runPort(const Plan& plan, std::size_t p, FleetReporter& reporter, PlcResult* results)
{
    const PortOptions& port = plan.ports[p];
    const std::vector<std::int16_t>& ids = plan.ids[p];
    console::SerialConsole console(PortOptions::catalog());
    port.applyTo(console);
    console.setLogSink([&reporter](const std::string& line) { reporter.log(line, false); });
    console.setWarningSink([&reporter](const std::string& line) { reporter.log(line, true); });
    console.setErrorSink([](const std::string&) {});
    // A port that cannot be opened is not tried again for each further PLC: behind a serial server
    // that is down, each try would wait out the connection timeout.
    const PlcResult* unopenable = nullptr;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        PlcResult& result = results[i];
        if (unopenable) {
            result = *unopenable;
            result.time = PlcResult::utcTime(std::chrono::system_clock::now());
            result.id = hostlink::Frame::renderHex(ids[i]);
            result.seconds = 0;
            result.detail = "not tried, as the port could not be opened for PLC " + unopenable->id;
            reporter.result(result, false);
            continue;
        }
        result = uploadTo(plan, port, ids[i], console, reporter);
        if (result.status == PortNotOpenable)
            unopenable = &result;
        else if (!result.saved())
            console.closePort();
    }
}

PlcResult FleetUpload::newResult(const Plan& plan, const PortOptions& port, std::int16_t id)
{
    PlcResult result;
    result.time = PlcResult::utcTime(std::chrono::system_clock::now());
    result.port = port.portName;
    result.id = hostlink::Frame::renderHex(id);
    result.file = plan.filePath;
    result.settings = port.settings;
    result.timeoutMs = port.timeoutMs();
    result.reset = plan.reset;
    return result;
}

PlcResult FleetUpload::uploadTo(const Plan& plan, const PortOptions& port, std::int16_t id,
                                console::SerialConsole& console, FleetReporter& reporter)
{
    PlcResult result = newResult(plan, port, id);
    PlcReporter plcReporter(reporter, result.port, result.id);
    upload::UploadProcedure procedure({console.exchange(), [&console] { return console.lastPortProblem(); }},
                                      plcReporter);
    const std::string idText = result.id;
    const bool reset = plan.reset;
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = procedure.run({plan.filePath, [&idText] { return idText; },
                                        [reset] { return reset; }, [] { return StopSignals::requested(); },
                                        plan.contents, plan.sha256, plan.attempts, plan.verifyReplies});
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.setOutcome(outcome);
    result.records = procedure.linesSent();
    result.total = procedure.lastCheck().records;
    result.sha256 = procedure.lastCheck().sha256;
    if (!result.saved())
        result.detail = plcReporter.reason();
    reporter.result(result, plcReporter.explained());
    return result;
}

} // namespace vantor::cli
