#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vantor::cli {

// Lines side by side on a terminal: one status line per line of the run, redrawn in place (cursor
// up, clear line) at most ten times a second, with anything else printed above them. Only for a
// terminal that moves the cursor (Terminal::movesCursor); elsewhere the run prints plain lines.
// Thread-safe: every port's thread sets its own line.
class StatusBoard
{
public:
    StatusBoard(std::FILE* out, std::size_t lines);

    // Line number line now reads text (cut to the terminal's width, 79 columns if unknown).
    void set(std::size_t line, const std::string& text);
    // Prints text as a line of its own above the board, which is drawn again under it.
    void print(const std::string& text);
    // Draws the board as it stands and leaves it on the screen; nothing is redrawn after it.
    void finish();

private:
    void draw();

    std::FILE* out_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::size_t drawn_ = 0; // lines of the board on the screen now
    bool finished_ = false;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace vantor::cli
