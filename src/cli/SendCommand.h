#pragma once

#include <string>
#include <vector>

namespace vantor::cli {

// vantor send [port options] COMMAND...: the console's terminal without a window. Each command is
// sent as typed over one opening of the port; standard output gets what the response log would.
class SendCommand
{
public:
    static int run(const std::vector<std::string>& arguments);
};

} // namespace vantor::cli
