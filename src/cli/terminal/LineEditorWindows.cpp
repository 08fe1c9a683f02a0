#include "cli/terminal/LineEditor.h"

#include "cli/terminal/TermSignals.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

#include <io.h>

namespace vantor::cli {

// The console's own line input (its editing, and Up, Down and F7 within the session) on a thread of
// its own, which hands each line over; the main loop waits for them in slices and watches the port.
// A line that starts with Ctrl+T is a menu key: the console passes the key on only with Enter.
struct LineEditor::State
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<std::string> lines;
        bool ended = false;
    };
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    bool editing = false;
    std::string prompt;
};

namespace {
// Blocks in the console's line input, which cannot be woken: the thread is left behind at the end.
void readLines(std::shared_ptr<LineEditor::State::Shared> shared)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->lines.push_back(line);
        shared->arrived.notify_one();
    }
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->ended = true;
    shared->arrived.notify_one();
}
} // namespace

LineEditor::LineEditor(const std::string& prompt, const std::vector<std::string>&)
    : state_(std::make_unique<State>())
{
    state_->editing = ::_isatty(0) != 0;
    state_->prompt = prompt;
    std::thread(readLines, state_->shared).detach();
}

LineEditor::~LineEditor() = default;

bool LineEditor::editing() const
{
    return state_->editing;
}

LineEditor::Input LineEditor::wait(int waitMs)
{
    // The console drops the line being typed on Ctrl+C itself: here it always quits.
    if (TermSignals::takeInterrupt())
        return {Input::Kind::Interrupt, {}};
    State::Shared& shared = *state_->shared;
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.arrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                            [&shared] { return !shared.lines.empty() || shared.ended; });
    if (shared.lines.empty())
        return {shared.ended ? Input::Kind::End : Input::Kind::Nothing, {}};
    std::string line = shared.lines.front();
    shared.lines.pop_front();
    if (!line.empty() && line.front() == menuKey)
        return {Input::Kind::MenuKey, line.size() > 1 ? line.substr(1, 1) : std::string(1, menuKey)};
    return {Input::Kind::Line, line};
}

void LineEditor::print(std::FILE* stream, const std::string& line)
{
    std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void LineEditor::setPrompt(const std::string& prompt)
{
    state_->prompt = prompt;
    if (state_->editing)
        print(stderr, prompt);
}

} // namespace vantor::cli
