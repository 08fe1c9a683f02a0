#pragma once

#include "cli/terminal/HistoryFile.h"
#include "cli/terminal/LineEditor.h"
#include "cli/terminal/TermLog.h"
#include "cli/terminal/TermScreen.h"
#include "console/TermSession.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vantor::cli {

// The running `vantor term`: reads what is typed, sends it through the session and shows what comes
// of it, watching the port between keys; the menu keys; the history and the log. Returns the exit
// status when the user is done, or a stop signal or the port lost (from a piped input) ends it.
class TermLoop
{
public:
    // How long a wait on the keyboard lasts before the port is looked at again (ms): the most an
    // unasked line waits to be shown.
    static constexpr int sliceMs = 40;

    // The session is open; screen and log are the command's; history: the port's file (not open:
    // none kept).
    TermLoop(console::TermSession& session, console::SerialConsole& console, TermScreen& screen, TermLog& log,
             HistoryFile& history, LineEditor& editor);

    int run();

private:
    // false when the key quits.
    bool onMenuKey(char key);
    void onLine(const std::string& line);
    void setId(const std::string& text);
    void show(const std::vector<console::TermEvent>& events);
    void toggled(const char* what, bool on);

    console::TermSession& session_;
    console::SerialConsole& console_;
    TermScreen& screen_;
    TermLog& log_;
    HistoryFile& history_;
    LineEditor& editor_;
    bool askingId_ = false;
    std::string newestLine_;
};

} // namespace vantor::cli
