#include "record/UploadRecord.h"

#include "record/ExitStatus.h"

#include <cstdio>
#include <ctime>

namespace vantor::record {

using upload::UploadOutcome;
using namespace exitstatus;

namespace {

// Each outcome once: its exit status, its word in JSON and in the table of several PLCs, and
// whether the line was used at all.
struct OutcomeRow
{
    UploadOutcome outcome;
    int status;
    const char* word;
    bool lineUsed;
};
constexpr OutcomeRow outcomeRows[] = {
    {UploadOutcome::Completed, Success, "saved", true},
    {UploadOutcome::SaveNotConfirmed, SaveNotConfirmed, "save-not-confirmed", true},
    {UploadOutcome::ResetNotConfirmed, ResetNotConfirmed, "reset-not-confirmed", true},
    {UploadOutcome::FileNotReadable, FileNotReadable, "file-not-readable", false},
    {UploadOutcome::FileRejected, FileRejected, "file-rejected", false},
    {UploadOutcome::PlcIdRejected, PlcIdRejected, "id-rejected", false},
    {UploadOutcome::PortNotOpenable, PortNotOpenable, "port-not-openable", false},
    {UploadOutcome::NoLinkResponse, NoLinkResponse, "no-link-response", true},
    {UploadOutcome::Aborted, UploadAborted, "aborted", true},
    {UploadOutcome::PortLost, PortLost, "port-lost", true},
    {UploadOutcome::FileChanged, FileChanged, "file-changed", true},
    // Only a stop request interrupts: the user's, in either front end.
    {UploadOutcome::Interrupted, StoppedByUser, "interrupted", true},
    // Not saved, and not a failure either: what a dry run asked for.
    {UploadOutcome::LinkAnswered, LinkAnswered, "link-ok", true},
};

const OutcomeRow* rowOf(UploadOutcome outcome)
{
    for (const OutcomeRow& row : outcomeRows) {
        if (row.outcome == outcome)
            return &row;
    }
    return nullptr;
}

// Seconds rounded to milliseconds, so that the JSON does not carry clock noise.
double rounded(double value)
{
    return static_cast<double>(static_cast<long long>(value * 1000 + 0.5)) / 1000;
}

nlohmann::ordered_json textOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

} // namespace

int UploadRecord::statusOf(UploadOutcome result)
{
    const OutcomeRow* row = rowOf(result);
    return row ? row->status : InternalError;
}

std::string UploadRecord::outcomeWord(UploadOutcome result)
{
    const OutcomeRow* row = rowOf(result);
    return row ? row->word : "internal-error";
}

bool UploadRecord::lineUsed(UploadOutcome result)
{
    const OutcomeRow* row = rowOf(result);
    return row && row->lineUsed;
}

void UploadRecord::setOutcome(UploadOutcome result)
{
    ending = result;
    status = statusOf(result);
    outcome = outcomeWord(result);
}

std::string UploadRecord::reasonOf(const std::string& lastCaption, const std::string& details)
{
    // Captions start with a blank when they start with a count (" 12 Lines Uploaded!").
    const std::size_t start = lastCaption.find_first_not_of(' ');
    const std::string caption = start == std::string::npos ? std::string() : lastCaption.substr(start);
    if (details.empty())
        return caption;
    return caption.empty() ? details : caption + " (" + details + ")";
}

const char* UploadRecord::version()
{
    return VANTOR_VERSION;
}

std::string UploadRecord::utcTime(std::chrono::system_clock::time_point when)
{
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(sinceEpoch.count() / 1000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[96]; // room for any int the fields could hold, to keep the compiler's check quiet
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(sinceEpoch.count() % 1000));
    return text;
}

nlohmann::ordered_json UploadRecord::toJson() const
{
    nlohmann::ordered_json line;
    line["schema"] = 1;
    line["event"] = "result";
    line["time"] = time;
    line["port"] = port;
    line["id"] = id;
    line["status"] = status;
    line["outcome"] = outcome;
    line["records"] = records;
    line["total"] = total;
    line["sha256"] = textOrNull(sha256);
    line["seconds"] = rounded(seconds);
    line["detail"] = textOrNull(detail);
    line["file"] = file;
    line["absolute_path"] = absolutePath;
    line["baud"] = settings.baudRate;
    line["parity"] = settings.parity == 'E' ? "even" : settings.parity == 'O' ? "odd" : "none";
    line["data_bits"] = settings.dataBits;
    line["stop_bits"] = settings.stopBits;
    line["timeout_ms"] = timeoutMs;
    line["reset"] = reset;
    line["host"] = host;
    line["user"] = user;
    line["profile"] = textOrNull(stamp.profile);
    line["tags"] = nlohmann::ordered_json::object();
    for (const auto& [key, value] : stamp.tags)
        line["tags"][key] = value;
    line["version"] = version();
    return line;
}

} // namespace vantor::record
