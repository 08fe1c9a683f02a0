#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// vantor check [--id TEXT] [--frames] FILE: reads FILE as the upload would, without a port, and
// reports whether the upload would start, what it would send, and what it would skip.
class CheckCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
};

} // namespace vantor::cli
