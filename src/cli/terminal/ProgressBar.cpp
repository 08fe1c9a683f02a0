#include "cli/terminal/ProgressBar.h"

#include <string>

namespace vantor::cli {

ProgressBar::ProgressBar(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(std::int64_t done, std::int64_t total)
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
    if (lastDrawnDone_ != done_)
        draw(done_, total_);
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
}

void ProgressBar::draw(std::int64_t done, std::int64_t total)
{
    constexpr int width = 30;
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(fraction * width);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // The first fraction of a second says nothing about the rate; show it once it means something.
    const double rate = seconds >= 1.0 ? static_cast<double>(done) / seconds : 0.0;
    const auto left = rate > 0 ? static_cast<long long>(static_cast<double>(total - done) / rate + 0.5) : 0LL;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    lastDrawnDone_ = done;
    if (rate <= 0) {
        std::fprintf(out_, "\r[%s] %lld/%lld %3d%%                          ", bar.c_str(),
                     static_cast<long long>(done), static_cast<long long>(total),
                     static_cast<int>(fraction * 100));
        std::fflush(out_);
        drawn_ = true;
        return;
    }
    std::fprintf(out_, "\r[%s] %lld/%lld %3d%%  %.0f lines/s  %lld:%02lld left ", bar.c_str(),
                 static_cast<long long>(done), static_cast<long long>(total),
                 static_cast<int>(fraction * 100), rate, left / 60, left % 60);
    std::fflush(out_);
    drawn_ = true;
}

} // namespace vantor::cli
