#include "run/RunRecord.h"

#include "record/ExitStatus.h"

#include <cstdlib>

namespace vantor::run {

std::string RunRecord::chosenPath(const std::optional<std::string>& option)
{
    if (option)
        return *option;
    const char* fromEnvironment = std::getenv("VANTOR_RECORD");
    return fromEnvironment ? fromEnvironment : "";
}

serial::Result<> RunRecord::open(const std::string& path)
{
    if (path.empty())
        return {};
    const serial::Result<> opened = file_.open(path);
    if (!opened.ok())
        return serial::failed("cannot write the record file " + path + ": " + opened.message);
    return {};
}

void RunRecord::add(const record::UploadRecord& result)
{
    if (!file_.isOpen())
        return;
    const std::string line = result.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const auto wait = waits_ == Waits::OncePerRun && lockKept_ ? record::RecordFile::lockSlice
                                                               : record::RecordFile::lockWait;
    const serial::StopToken stop([this] {
        const std::lock_guard<std::mutex> lock(saying_);
        return listener_.waitingForLock();
    });
    const auto appended = file_.append(line, stop, wait);
    lockKept_ = appended.lockNotHad;
    const std::lock_guard<std::mutex> lock(saying_);
    const bool firstFailure = !appended.written && !failed_.exchange(true);
    listener_.appended(appended, file_.path(), line, firstFailure);
}

int RunRecord::finalStatus(int status) const
{
    return status == record::exitstatus::Success && failed_ ? record::exitstatus::RecordNotWritten : status;
}

} // namespace vantor::run
