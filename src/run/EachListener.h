#pragma once

#include "record/UploadRecord.h"
#include "run/LinesListener.h"

#include <string>
#include <vector>

namespace vantor::run {

// What a front end shows of a production line's loop (EachUpload): what each line waits for, each
// arrival, each PLC counted, and each departure; every PLC's own upload as LinesListener has it.
// Called from every line's thread at once: an implementation keeps its output in order itself.
class EachListener : public LinesListener
{
public:
    // The line's port cannot be opened (problem: the port layer's sentence, never empty); said once
    // for each new problem, then tried again quietly at every interval.
    virtual void waitingForPort(const std::string& port, const std::string& problem) = 0;
    // The port is open and the line asks the link test at every interval until a PLC answers.
    virtual void waitingForPlc(const std::string& port) = 0;
    // A PLC answered the link test: the uploads to ids (as the frames render them) start now.
    virtual void arrived(const std::string& port, const std::vector<std::string>& ids) = 0;
    // A PLC's upload has ended and is in the record: the count-th PLC of this run (from 1, over every
    // line), after the PlcListener's recorded().
    virtual void counted(int count, const record::UploadRecord& result) = 0;
    // The PLC still answers seconds after its upload ended: said once per arrival.
    virtual void stillConnected(const std::string& port, int seconds) = 0;
    // The PLC stopped answering, or (portGone) the port went away: the line waits for the next.
    virtual void gone(const std::string& port, bool portGone) = 0;
};

} // namespace vantor::run
