#pragma once

#include "upload/UploadOutcome.h"

#include <string>
#include <vector>

namespace vantor::cli {

// vantor upload [port options] [--id TEXT] [--reset] FILE: the main panel's upload without a window.
// Standard output gets the captions the panel would show, the final one last.
class UploadCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
    static int exitStatusFor(upload::UploadOutcome outcome);
};

} // namespace vantor::cli
