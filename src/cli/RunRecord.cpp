#include "cli/RunRecord.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"
#include "console/StopSignals.h"

namespace vantor::cli {

bool RunRecord::open(const std::string& path, std::string* error)
{
    if (path.empty())
        return true;
    if (file_.open(path))
        return true;
    *error = "cannot write the record file " + path + ": " + file_.error();
    return false;
}

void RunRecord::add(const PlcResult& result)
{
    if (!file_.isOpen())
        return;
    const std::string line = result.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Once a holder has kept the lock through a whole wait, later results try it for one slice only,
    // until it is had again: a holder that never lets go costs the run one wait, not one per PLC.
    const auto wait = lockKept_ ? record::RecordFile::lockSlice : record::RecordFile::lockWait;
    const auto appended = file_.append(
        line, [] { return console::StopSignals::requested(); }, wait);
    lockKept_ = appended.lockNotHad;
    const std::lock_guard<std::mutex> lock(saying_);
    if (appended.reopened)
        Usage::note("the record file " + file_.path() +
                    " was moved or removed during the run (log rotation?): it was opened again by its name, "
                    "and the results from here on go there");
    if (appended.written)
        return;
    if (!failed_.exchange(true))
        Usage::note("cannot write the record file " + file_.path() + ": " + appended.error +
                    "; the uploads go on, and each result missing from it follows here as its line");
    Usage::line(stderr, line);
}

int RunRecord::finalStatus(int status) const
{
    return status == Success && failed_ ? RecordNotWritten : status;
}

} // namespace vantor::cli
