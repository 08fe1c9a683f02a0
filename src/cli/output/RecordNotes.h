#pragma once

#include "run/RecordListener.h"

namespace vantor::cli {

// What the command line says of its record file: a file moved away and opened again, and each
// result that could not be written, as its line on standard error, so that none is lost. A stop
// signal gives a wait for the record's lock up.
class RecordNotes : public run::RecordListener
{
public:
    bool waitingForLock() override;
    void appended(const record::RecordFile::Appended& what, const std::string& path, const std::string& line,
                  bool firstFailure) override;
};

} // namespace vantor::cli
