#pragma once

#include "cli/CommandLine.h"

#include <string>
#include <vector>

namespace vantor::cli {

// vantor send [port options] COMMAND...: the console's terminal without a window. Each command is
// sent as typed over one opening of the port; standard output gets what the response log would.
// With --frame CMD (and --id), the frames are built as the upload builds them.
class SendCommand
{
public:
    static int run(const std::vector<std::string>& arguments);

private:
    // The --frame commands as frames for the --id PLC; false with a message for a bad ID or command.
    static bool framesFor(const CommandLine& parser, std::vector<std::string>* frames, std::string* error);
};

} // namespace vantor::cli
