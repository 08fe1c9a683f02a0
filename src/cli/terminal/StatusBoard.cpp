#include "cli/terminal/StatusBoard.h"

#include "hostlink/ControlText.h"

namespace vantor::cli {

namespace {
constexpr std::size_t width = 79;
constexpr auto redrawEvery = std::chrono::milliseconds(100);

// At most width columns of text, its control characters shown, so one entry is one screen line.
std::string fitted(const std::string& text)
{
    std::string shown = hostlink::ControlText::escapeControls(text);
    std::size_t columns = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        // A UTF-8 character takes one column however many bytes it has.
        if ((static_cast<unsigned char>(shown[i]) & 0xC0) != 0x80 && ++columns > width)
            return shown.substr(0, i);
    }
    return shown;
}
} // namespace

StatusBoard::StatusBoard(std::FILE* out, std::size_t lines) : out_(out), lines_(lines) {}

void StatusBoard::set(std::size_t line, const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (finished_ || line >= lines_.size())
        return;
    lines_[line] = fitted(text);
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ == lines_.size() && now - lastDraw_ < redrawEvery)
        return;
    draw();
}

void StatusBoard::print(const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    // Up to the board's first line, the text over it, then the board again below.
    if (drawn_ > 0)
        std::fprintf(out_, "\r\x1b[%zuA", drawn_);
    std::fprintf(out_, "\x1b[2K%s\n", text.c_str());
    drawn_ = 0;
    if (!finished_)
        draw();
    std::fflush(out_);
}

void StatusBoard::finish()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (finished_)
        return;
    draw();
    finished_ = true;
}

void StatusBoard::draw()
{
    std::string text = drawn_ > 0 ? "\r\x1b[" + std::to_string(drawn_) + "A" : "\r";
    for (const std::string& line : lines_)
        text += "\x1b[2K" + line + "\n";
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
    drawn_ = lines_.size();
    lastDraw_ = std::chrono::steady_clock::now();
}

} // namespace vantor::cli
