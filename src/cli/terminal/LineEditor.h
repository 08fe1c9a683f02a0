#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vantor::cli {

// What the user types at `vantor term`, a line at a time, read in slices so that the caller can watch
// the port between them. On a terminal the line is edited (libedit on POSIX: Up and Down walk the
// history, Ctrl+R searches it; the console's own line input on Windows), and Ctrl+T followed by a key
// is a menu key, not text. From a pipe or a file, lines are read as they come, without an editor.
// Lines printed meanwhile go above the line being typed, which is drawn again below them. The
// terminal's settings are restored when the editor goes, however the session ends. One thread (on
// Windows a reader thread of its own behind it).
class LineEditor
{
public:
    struct Input
    {
        enum class Kind {
            Nothing,   // the wait ran out, or a key was handled (Ctrl+C on a typed line clears it)
            Line,      // text: the line, without its line end (from a pipe, a CR before it dropped too)
            MenuKey,   // text: the key pressed after Ctrl+T
            Interrupt, // Ctrl+C on an empty line: the user wants out
            End,       // Ctrl+D on an empty line, or the end of a piped input
        };
        Kind kind = Kind::Nothing;
        std::string text;
    };

    // The key that opens the menu: Ctrl+T.
    static constexpr char menuKey = '\x14';

    // prompt: shown before the line being typed (not from a pipe). history: the lines to offer with Up,
    // oldest first.
    LineEditor(const std::string& prompt, const std::vector<std::string>& history);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // Whether lines are edited: standard input is a terminal.
    bool editing() const;
    // Waits up to waitMs (0: not at all) for what the user does and answers it. A signal ends the wait
    // early. A line is added to the history offered, unless it is empty or repeats the newest.
    Input wait(int waitMs);
    // Prints line and a line end on stream above the line being typed.
    void print(std::FILE* stream, const std::string& line);
    // The prompt from now on, drawn again at once.
    void setPrompt(const std::string& prompt);

    // The platform's part (LineEditorPosix.cpp, LineEditorWindows.cpp), which its callbacks reach.
    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace vantor::cli
