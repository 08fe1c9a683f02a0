#pragma once

#include "record/ExitStatus.h"

namespace vantor::cli {
// The tool's exit statuses by their names, as the commands return them.
using namespace vantor::record::exitstatus;
} // namespace vantor::cli
