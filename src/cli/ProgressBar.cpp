#include "cli/ProgressBar.h"

#include <string>

namespace vantor::cli {

ProgressBar::ProgressBar(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(int done, int total)
{
    done_ = done;
    total_ = total;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && done < total)
        return;
    lastDraw_ = now;
    draw(done, total);
}

void ProgressBar::finish()
{
    if (!drawn_)
        return;
    draw(done_, total_);
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
}

void ProgressBar::draw(int done, int total)
{
    constexpr int width = 30;
    const double fraction = total > 0 ? static_cast<double>(done) / total : 1.0;
    const int filled = static_cast<int>(fraction * width);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0.0;
    const int left = rate > 0 ? static_cast<int>((total - done) / rate + 0.5) : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    std::fprintf(out_, "\r[%s] %d/%d %3d%%  %.0f lines/s  %d:%02d left ", bar.c_str(), done, total,
                 static_cast<int>(fraction * 100), rate, left / 60, left % 60);
    std::fflush(out_);
    drawn_ = true;
}

} // namespace vantor::cli
