#pragma once

#include "console/TermEvent.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vantor::cli {

class LineEditor;

// What `vantor term` shows of its session's events. The line's traffic goes to standard output: a
// reply as it came, "(Warning: No Response from PLC)", "(unasked) TEXT" for what arrived unasked, and
// "> COMMAND" for what was sent when asked for (setShowSent), or with timestamps or hex on. The port's news
// and the terminal's own notes go to standard error. On a terminal, control characters are shown as the trace
// shows them (hostlink::ControlText), so a device cannot drive it. With timestamps each line starts with
// "[10:42:01.120] "; with hex, the line's bytes are shown as hexadecimal pairs instead.
class TermScreen
{
public:
    // editor: where lines are printed, above the line being typed; null: printed as they are.
    explicit TermScreen(LineEditor* editor = nullptr);

    void setEditor(LineEditor* editor) { editor_ = editor; }
    bool timestamps() const { return timestamps_; }
    void setTimestamps(bool on) { timestamps_ = on; }
    bool hex() const { return hex_; }
    void setHex(bool on) { hex_ = on; }
    // Whether Sent is shown without timestamps or hex: on a terminal whose typed lines are framed,
    // where the line typed is not the one sent.
    void setShowSent(bool on) { showSent_ = on; }

    void show(const std::vector<console::TermEvent>& events);
    // A note of the terminal's own on standard error.
    void note(const std::string& text);

private:
    void show(const console::TermEvent& event);
    std::string traffic(const std::string& bytes) const;
    void print(std::FILE* stream, const std::string& text);

    LineEditor* editor_;
    bool outIsTerminal_;
    bool timestamps_ = false;
    bool hex_ = false;
    bool showSent_ = false;
};

} // namespace vantor::cli
