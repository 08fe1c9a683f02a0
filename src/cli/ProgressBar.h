#pragma once

#include <chrono>
#include <cstdio>

namespace vantor::cli {

// A one-line progress display for a terminal: bar, lines sent of the total, percent, lines per
// second and time left, redrawn in place at most ten times a second.
class ProgressBar
{
public:
    explicit ProgressBar(std::FILE* out);
    void update(int done, int total);
    // Draws the final state and ends the line; nothing when nothing was drawn.
    void finish();

private:
    void draw(int done, int total);

    std::FILE* out_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    int done_ = 0;
    int total_ = 0;
    bool drawn_ = false;
};

} // namespace vantor::cli
