#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

// How every command runs: read reads the command line into a plan, or answers the exit status when
// the command is done already (help shown, a usage error); carryOut then does what the plan says and
// answers the exit status.
template <class Plan, class Read, class CarryOut>
int runPlanned(const std::vector<std::string>& arguments, Read read, CarryOut carryOut)
{
    Plan plan;
    if (const std::optional<int> early = read(arguments, &plan))
        return *early;
    return carryOut(plan);
}

} // namespace vantor::cli
