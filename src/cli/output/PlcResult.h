#pragma once

#include "record/UploadRecord.h"

namespace vantor::cli {

// How one PLC's upload in a run ended: the --json result line, the record file's line and a row of
// the table on standard error.
using PlcResult = record::UploadRecord;

} // namespace vantor::cli
