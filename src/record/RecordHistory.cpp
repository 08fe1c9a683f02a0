#include "record/RecordHistory.h"

#include "record/UploadRecord.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace vantor::record {

namespace {

using nlohmann::json;

constexpr std::size_t pieceBytes = 64 * 1024;

bool isText(const json& line, const char* key)
{
    const auto found = line.find(key);
    return found != line.end() && found->is_string();
}

// The line's port settings, when it has all of them, as the record writes them.
bool settingsOf(const json& line, serial::PortSettings* settings)
{
    const auto number = [&line](const char* key) {
        const auto found = line.find(key);
        return found != line.end() && found->is_number_integer() ? found->get<int>() : 0;
    };
    const std::string parity = isText(line, "parity") ? line["parity"].get<std::string>() : "";
    if (number("baud") <= 0 || number("data_bits") <= 0 || number("stop_bits") <= 0 ||
        (parity != "none" && parity != "even" && parity != "odd"))
        return false;
    settings->baudRate = number("baud");
    settings->dataBits = number("data_bits");
    settings->stopBits = number("stop_bits");
    settings->parity = parity == "even" ? 'E' : parity == "odd" ? 'O' : 'N';
    return true;
}

void skip(std::size_t lineNumber, RecordHistory::Read* read)
{
    ++read->skipped;
    if (read->firstSkipped == 0)
        read->firstSkipped = lineNumber;
}

} // namespace

void RecordHistory::take(const std::string& text, std::size_t lineNumber, const std::string& sha256,
                         Read* read)
{
    const json line = json::parse(text, nullptr, false);
    if (!line.is_object() || line.value("schema", json()) != 1 || line.value("event", json()) != "result" ||
        !isText(line, "port") || !isText(line, "id") || !isText(line, "outcome") ||
        !(isText(line, "sha256") || line.value("sha256", json(0)).is_null())) {
        skip(lineNumber, read);
        return;
    }
    if (!isText(line, "sha256") || line["sha256"].get<std::string>() != sha256) {
        ++read->otherPrograms;
        return;
    }
    ++read->forProgram;
    Last last;
    last.port = line["port"].get<std::string>();
    last.id = line["id"].get<std::string>();
    last.outcome = line["outcome"].get<std::string>();
    last.time = isText(line, "time") ? line["time"].get<std::string>() : std::string();
    last.line = lineNumber;
    last.hasSettings = settingsOf(line, &last.settings);
    // A dry run's answer says nothing of the program the PLC holds: it does not hide an upload's result
    // before it (a saved PLC checked afterwards is not uploaded again).
    const bool dryRun = last.outcome == UploadRecord::outcomeWord(upload::UploadOutcome::LinkAnswered);
    for (Last& known : read->plcs) {
        if (known.port == last.port && known.id == last.id) {
            if (!dryRun)
                known = last;
            return;
        }
    }
    read->plcs.push_back(last);
}

serial::Result<> RecordHistory::read(const std::string& path, const std::string& sha256, Read* read,
                                     const serial::StopToken& stop)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::u8path(path);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status))
        return serial::failed("there is no such file");
    if (!fs::is_regular_file(status))
        return serial::failed("it is not a regular file");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return serial::failed("it cannot be opened for reading");
    std::string line;
    bool overlong = false;
    std::vector<char> piece(pieceBytes);
    while (in) {
        if (stop.requested()) {
            read->stopped = true;
            return {};
        }
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            if (piece[i] != '\n') {
                overlong = overlong || line.size() >= maxLineBytes;
                if (!overlong)
                    line += piece[i];
                continue;
            }
            ++read->lines;
            overlong ? skip(read->lines, read) : take(line, read->lines, sha256, read);
            line.clear();
            overlong = false;
        }
    }
    if (in.bad())
        return serial::failed("reading it failed");
    if (!line.empty() || overlong) { // a last line without its line feed: one being written, or cut off
        ++read->lines;
        overlong ? skip(read->lines, read) : take(line, read->lines, sha256, read);
    }
    return {};
}

} // namespace vantor::record
