#pragma once

#include "serial/StopToken.h"

namespace vantor::cli {

// The signals of `vantor term`. SIGTERM and SIGHUP (the SSH session dropped) end it as every command
// ends (console::StopSignals). Ctrl+C does not: it is a key here, counted until taken, so that it can
// clear the line being typed or end a wait for a reply without ending the program, and only on an
// empty line quits. A resized terminal (SIGWINCH) is noted likewise. The handlers only set flags.
class TermSignals
{
public:
    // Installs console::StopSignals, then puts Ctrl+C (and SIGWINCH) under this class.
    static void install();
    // Whether Ctrl+C was pressed and not taken yet; takes one press.
    static bool takeInterrupt();
    // Whether Ctrl+C is waiting to be taken; any thread.
    static bool interruptPending();
    // Whether the terminal was resized since the last take; takes it.
    static bool takeResize();
    // Asks to stop the console's waits: Ctrl+C pressed, or a stop signal.
    static serial::StopToken token();
};

} // namespace vantor::cli
