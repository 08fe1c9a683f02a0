#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace vantor::cli {

// A one-line progress display for a terminal: bar, lines sent of the total, percent, lines per
// second and time left, redrawn in place at most ten times a second.
class ProgressBar
{
public:
    explicit ProgressBar(std::FILE* out);
    void update(std::int64_t done, std::int64_t total);
    // Draws the final state and ends the line; nothing when nothing was drawn.
    void finish();

private:
    void draw(std::int64_t done, std::int64_t total);

    std::FILE* out_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
    bool drawn_ = false;
    std::int64_t lastDrawnDone_ = -1;
};

} // namespace vantor::cli
