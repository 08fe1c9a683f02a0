#pragma once

#include "cli/options/CommandSpec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// vantor check [--id TEXT] [--frames] FILE: reads FILE as the upload would, without a port, and
// reports whether the upload would start, what it would send, and what it would skip.
class CheckCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);

private:
    // What the command line asks for.
    struct Plan
    {
        std::string path;
        std::int16_t plcId = 1;
        bool frames = false;
        bool json = false;
    };
    // Reads the command line into plan; an exit status when the command is done already (help
    // shown, or a usage error said).
    static std::optional<int> readPlan(const std::vector<std::string>& arguments, Plan* plan);
};

} // namespace vantor::cli
