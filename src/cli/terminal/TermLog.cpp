#include "cli/terminal/TermLog.h"

#include "cli/terminal/TermClock.h"
#include "hostlink/ControlText.h"

namespace vantor::cli {

serial::Result<> TermLog::open(const std::string& path)
{
    return file_.open(path);
}

void TermLog::traffic(hostlink::TraceDirection direction, const std::string& bytes)
{
    append((direction == hostlink::TraceDirection::Sent ? ">> " : "<< ") +
           hostlink::ControlText::escape(bytes));
}

void TermLog::note(const std::string& text)
{
    append("-- " + hostlink::ControlText::escapeControls(text));
}

void TermLog::append(const std::string& text)
{
    if (!file_.isOpen())
        return;
    const auto appended = file_.append(TermClock::dated() + " " + text);
    if (!appended.written && failure_.empty())
        failure_ = appended.error.empty() ? "another process held its lock" : appended.error;
}

} // namespace vantor::cli
