#include "run/PlcUpload.h"

#include "console/SerialConsole.h"
#include "record/MachineIdentity.h"
#include "run/ReasonCollector.h"

#include <chrono>
#include <filesystem>

namespace vantor::run {

record::UploadRecord PlcUpload::newRecord(const std::string& port, const std::string& id,
                                          const std::string& file, const serial::PortSettings& settings,
                                          int timeoutMs, bool reset, const record::RecordStamp& stamp)
{
    record::UploadRecord result;
    result.time = record::UploadRecord::utcTime(std::chrono::system_clock::now());
    result.port = port;
    result.id = id;
    result.file = file;
    result.settings = settings;
    result.timeoutMs = timeoutMs;
    result.reset = reset;
    result.absolutePath = absolutePath(file);
    result.host = record::MachineIdentity::hostName();
    result.user = record::MachineIdentity::userName();
    result.stamp = stamp;
    return result;
}

std::string PlcUpload::absolutePath(const std::string& file)
{
    namespace fs = std::filesystem;
    if (file.empty())
        return {};
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::u8path(file), ec);
    if (ec)
        return file; // no working folder to stand on: the path as given is all there is
    fs::path kept;
    for (const fs::path& part : absolute) {
        if (part != ".")
            kept /= part;
    }
    return kept.u8string();
}

record::UploadRecord PlcUpload::run(console::SerialConsole& console, const upload::UploadInput& input,
                                    record::UploadRecord started, PlcListener& listener, RunRecord* record)
{
    ReasonCollector said(listener);
    upload::UploadProcedure procedure({console.exchange(), [&console] { return console.lastPortProblem(); }},
                                      said);
    record::UploadRecord& result = started;
    const auto began = std::chrono::steady_clock::now();
    const auto outcome = procedure.run(input);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    result.setOutcome(outcome);
    result.records = procedure.linesSent();
    result.total = procedure.lastCheck().records;
    result.sha256 = procedure.lastCheck().sha256;
    if (!result.saved())
        result.detail = said.reason();
    end(result, said.explained(), listener, record);
    return result;
}

void PlcUpload::end(const record::UploadRecord& result, bool explained, PlcListener& listener,
                    RunRecord* record)
{
    listener.ended(result, explained);
    if (record)
        record->add(result);
    listener.recorded(result);
}

} // namespace vantor::run
