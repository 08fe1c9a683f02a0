#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/PortOptions.h"
#include "cli/options/Profile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::console {
class SerialConsole;
class TermSession;
} // namespace vantor::console

namespace vantor::cli {

class TermLog;
class TermScreen;

// vantor term [port options] [--id ID] [--frame] [--timestamps] [--log FILE] [--hex]: a technician's
// line terminal over one port (console::TermSession behind it, terminal::TermLoop in front). Each line
// typed is sent as send sends it, or framed for --id with --frame, and its reply printed; what the
// PLC says unasked is shown as it comes, marked. Ctrl+T opens the menu.
class TermCommand
{
public:
    static CommandSpec spec();
    static int run(const std::vector<std::string>& arguments);

private:
    struct Plan
    {
        PortOptions port;
        std::optional<std::int16_t> framingId; // set: typed commands are framed for it
        bool timestamps = false;
        bool hex = false;
        std::string logPath; // empty: no log
        Profile::Applied profile;
    };
    static std::optional<int> readPlan(const std::vector<std::string>& arguments, Plan* plan);
    static int carryOut(const Plan& plan);
    // With the port open: the history, the editor and the loop until the user is done.
    static int talk(const Plan& plan, console::TermSession& session, console::SerialConsole& console,
                    TermScreen& screen, TermLog& log);
};

} // namespace vantor::cli
