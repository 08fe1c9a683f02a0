#include "cli/RunRecord.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"

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
    if (file_.append(line))
        return;
    if (!failed_.exchange(true))
        Usage::note("cannot write the record file " + file_.path() + ": " + file_.error() +
                    "; the uploads go on, but this and later results may be missing from it");
}

int RunRecord::finalStatus(int status) const
{
    return status == Success && failed_ ? RecordNotWritten : status;
}

} // namespace vantor::cli
