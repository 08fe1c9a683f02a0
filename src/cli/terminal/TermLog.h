#pragma once

#include "hostlink/CommandExchange.h"
#include "record/RecordFile.h"
#include "serial/Result.h"

#include <string>

namespace vantor::cli {

// `vantor term --log FILE`: every byte sent and received, a line per write or read with its local
// date and time to the millisecond ("2025-06-02T10:42:01.120+0200 >> @01C230*<CR>", "<<" received,
// control characters as the trace shows them), and the port's news ("-- ..."), appended as it
// happens. The file is the record file's kind (record::RecordFile): refused under a link, shared
// safely, each line flushed to the disk.
class TermLog
{
public:
    // A failure in words that may follow "cannot write PATH: ".
    serial::Result<> open(const std::string& path);
    bool isOpen() const { return file_.isOpen(); }
    void traffic(hostlink::TraceDirection direction, const std::string& bytes);
    void note(const std::string& text);
    // Whether a line could not be written; the first failure's words (empty if none).
    const std::string& failure() const { return failure_; }

private:
    void append(const std::string& text);

    record::RecordFile file_;
    std::string failure_;
};

} // namespace vantor::cli
