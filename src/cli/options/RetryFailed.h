#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/OptionValues.h"
#include "cli/options/PortOptions.h"
#include "cli/output/Usage.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "record/RecordHistory.h"
#include "run/FleetUpload.h"
#include "upload/UploadProcedure.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// upload --retry-failed RECORD FILE: only the PLCs whose last result line in RECORD for FILE (by its
// SHA-256; see record::RecordHistory) is not "saved", on the ports as RECORD names them. Each PLC
// picked is said on standard error with its last outcome, line and time, and so is what was left out
// (saved, narrowed away, lines skipped as broken or foreign). The port settings, timeout, attempts and
// the rest are this command line's (and profile's) as ever, not the record's: where the record's last
// line for a PLC had other settings, that is said, and the run uses those given. --port and --id
// narrow the pick: with --port only the PLCs on those ports (as named or reaching the same port), with
// --id only those IDs (each --id for the --port values before it, as without --retry-failed);
// VANTOR_PORT does not narrow it. RECORD is only read, whoever's it is (a shared or merged record);
// the run appends to --record (or VANTOR_RECORD) as usual, which may be RECORD itself.
// Header-only (the command line's part); prints its notes through Usage.
class RetryFailed
{
public:
    static constexpr const char* optionName = "retry-failed";

    static OptionSpec option()
    {
        return {{optionName},
                "Upload only to the PLCs whose last result for FILE (by its SHA-256) in the record RECORD "
                "is not 'saved', on the ports the record names; says which and why, and 'nothing to "
                "retry' (exit 0) when every one was saved. --port and --id narrow the pick; the settings "
                "are those given here.",
                "RECORD"};
    }

    // When --retry-failed is given, after the plan is read (lines from --port/--id, filePath set):
    // replaces plan->lines with the PLCs picked, saying them. Returns an exit status when the command
    // is done: 0 with "nothing to retry" said, 2 with the error said (RECORD unreadable, FILE not a
    // regular file or not readable through: its SHA-256 is needed first); nothing to go on uploading.
    // Blocks while FILE and RECORD are read (plan->stop asked meanwhile).
    static std::optional<int> apply(const CommandLine& parser, const PortOptions& port,
                                    run::FleetUpload::Plan* plan)
    {
        if (!parser.isSet(optionName))
            return std::nullopt;
        const std::string recordPath = parser.value(optionName);
        const upload::FileCheck check = upload::UploadProcedure::checkFile(plan->filePath, plan->stop);
        if (!check.regular || check.sha256.empty())
            return Usage::fail("--retry-failed needs the SHA-256 of " + plan->filePath +
                               ", read through first: " +
                               (check.ok() ? std::string("it is not a regular file") : check.caption));
        record::RecordHistory::Read read;
        if (const auto r = record::RecordHistory::read(recordPath, check.sha256, &read, plan->stop); !r.ok())
            return Usage::fail("--retry-failed: cannot read the record " + recordPath + ": " + r.message);
        sayRead(recordPath, plan->filePath, check.sha256, read);
        std::vector<run::FleetUpload::Line> picked;
        std::size_t saved = 0, narrowed = 0;
        for (const record::RecordHistory::Last& last : read.plcs) {
            if (last.saved())
                ++saved;
            else if (!wanted(parser, plan->lines, last))
                ++narrowed;
            else
                pick(last, port, &picked);
        }
        return finish(read, saved, narrowed, std::move(picked), plan);
    }

private:
    static std::string shown(const std::string& text) { return hostlink::ControlText::escapeControls(text); }
    // "1 PLC", "2 PLCs".
    static std::string count(std::size_t n, const std::string& what)
    {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    }

    static void sayRead(const std::string& recordPath, const std::string& file, const std::string& sha256,
                        const record::RecordHistory::Read& read)
    {
        Usage::note("--retry-failed: " + recordPath + " has " + count(read.forProgram, "result line") +
                    " of " + file + " (SHA-256 " + sha256.substr(0, 12) + "...) for " +
                    count(read.plcs.size(), "PLC") + ", among " + count(read.lines, "line") +
                    (read.otherPrograms
                         ? "; " + count(read.otherPrograms, "result line") + " of other programs"
                         : std::string()));
        if (read.skipped)
            Usage::note("--retry-failed: skipped " + count(read.skipped, "line") + " of " + recordPath +
                        " that are no result line of this tool (broken or foreign; the first: line " +
                        std::to_string(read.firstSkipped) + ")");
        if (read.stopped)
            Usage::note("--retry-failed: stopped while reading " + recordPath);
    }

    // Whether the --port and --id given (plan's lines as read from them) leave last in.
    static bool wanted(const CommandLine& parser, const std::vector<run::FleetUpload::Line>& given,
                       const record::RecordHistory::Last& last)
    {
        const bool byPort = parser.isSet("port"), byId = parser.isSet("id");
        if (!byPort && !byId)
            return true;
        const serial::PortCatalog catalog = PortOptions::catalog();
        for (const run::FleetUpload::Line& line : given) {
            if (byPort && line.port != last.port && !catalog.samePort(line.port, last.port))
                continue;
            if (!byId || std::any_of(line.ids.begin(), line.ids.end(), [&last](std::int16_t id) {
                    return hostlink::Frame::renderHex(id) == last.id;
                }))
                return true;
        }
        return false;
    }

    // Adds last's PLC to its port's line (one line for names that reach the same port), saying why.
    static void pick(const record::RecordHistory::Last& last, const PortOptions& port,
                     std::vector<run::FleetUpload::Line>* lines)
    {
        const std::string plc = shown(last.port) + " " + shown(last.id);
        std::int16_t id = 0;
        if (!OptionValues::strictId(last.id, &id).ok()) {
            Usage::note("--retry-failed: left out " + plc + ", whose ID is no PLC ID (line " +
                        std::to_string(last.line) + ")");
            return;
        }
        Usage::note("--retry-failed: retrying " + plc + ": its last result (line " +
                    std::to_string(last.line) + (last.time.empty() ? "" : ", " + shown(last.time)) + ") is " +
                    shown(last.outcome));
        if (last.hasSettings && !(last.settings == port.settings))
            Usage::note("--retry-failed: " + plc + " was last tried at " + last.settings.settingsText() +
                        "; this run uses " + port.settings.settingsText() + ", as given");
        const serial::PortCatalog catalog = PortOptions::catalog();
        for (run::FleetUpload::Line& line : *lines) {
            if (line.port == last.port || catalog.samePort(line.port, last.port)) {
                if (std::find(line.ids.begin(), line.ids.end(), id) == line.ids.end())
                    line.ids.push_back(id);
                return;
            }
        }
        lines->push_back({last.port, port.settings, port.timeoutText, {id}});
    }

    static std::optional<int> finish(const record::RecordHistory::Read& read, std::size_t saved,
                                     std::size_t narrowed, std::vector<run::FleetUpload::Line> picked,
                                     run::FleetUpload::Plan* plan)
    {
        const std::string left =
            std::to_string(saved) + " saved" +
            (narrowed ? ", " + std::to_string(narrowed) + " left out by --port/--id" : "");
        if (picked.empty()) {
            Usage::note(read.plcs.empty()
                            ? "--retry-failed: nothing to retry: the record has no result of this "
                              "program"
                            : "--retry-failed: nothing to retry (" + left + ")");
            return 0;
        }
        std::size_t plcs = 0;
        for (const run::FleetUpload::Line& line : picked)
            plcs += line.ids.size();
        Usage::note("--retry-failed: " + count(plcs, "PLC") + " to retry (" + left + ")");
        plan->lines = std::move(picked);
        return std::nullopt;
    }
};

} // namespace vantor::cli
