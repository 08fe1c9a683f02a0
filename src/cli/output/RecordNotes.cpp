#include "cli/output/RecordNotes.h"

#include "cli/output/Usage.h"
#include "console/StopSignals.h"

#include <cstdio>

namespace vantor::cli {

bool RecordNotes::waitingForLock()
{
    return console::StopSignals::requested();
}

void RecordNotes::appended(const record::RecordFile::Appended& what, const std::string& path,
                           const std::string& line, bool firstFailure)
{
    if (what.reopened)
        Usage::note("the record file " + path +
                    " was moved or removed during the run (log rotation?): it was opened again by its name, "
                    "and the results from here on go there");
    if (what.written)
        return;
    if (firstFailure)
        Usage::note("cannot write the record file " + path + ": " + what.error +
                    "; the uploads go on, and each result missing from it follows here as its line");
    Usage::line(stderr, line);
}

} // namespace vantor::cli
