#include "cli/terminal/LineEditor.h"

#include "cli/terminal/TermSignals.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <editline/readline.h>

namespace vantor::cli {

// libedit's readline interface is one editor per process: its callbacks reach the editor through this.
struct LineEditor::State
{
    bool editing = false;
    bool haveSaved = false;
    termios saved{};
    std::string typed;  // keys read and not yet given to libedit, or a piped input's unfinished line
    bool ended = false; // a piped input ended
    bool menuArmed = false;
    std::optional<Input> ready; // what libedit's line handler answered
    std::string prompt;
    // How long the line being typed is: libedit's rl_end is left as it was when a line was done.
    std::size_t length = 0;
};

namespace {
LineEditor::State* current = nullptr;

// libedit reads its keys here: those read already first, so that Ctrl+T never reaches it; the rest of
// an escape sequence waits for the terminal.
int nextKey(FILE*)
{
    if (current->typed.empty()) {
        unsigned char byte = 0;
        ssize_t n;
        while ((n = ::read(STDIN_FILENO, &byte, 1)) < 0 && errno == EINTR) {
        }
        return n == 1 ? byte : EOF;
    }
    const auto byte = static_cast<unsigned char>(current->typed.front());
    current->typed.erase(0, 1);
    return byte;
}

void lineDone(char* line)
{
    if (!line) {
        current->ready = LineEditor::Input{LineEditor::Input::Kind::End, {}};
        return;
    }
    const std::string text(line);
    std::free(line);
    const HIST_ENTRY* newest = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
    if (!text.empty() && !(newest && newest->line && text == newest->line))
        add_history(text.c_str());
    current->ready = LineEditor::Input{LineEditor::Input::Kind::Line, text};
}

// Reads what is there, waiting up to waitMs; false when the input ended.
bool readKeys(std::string* into, int waitMs)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, waitMs) <= 0)
        return true;
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0)
        into->append(buffer, static_cast<std::size_t>(n));
    return n != 0;
}
} // namespace

LineEditor::LineEditor(const std::string& prompt, const std::vector<std::string>& history)
    : state_(std::make_unique<State>())
{
    current = state_.get();
    state_->editing = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
    state_->prompt = prompt;
    if (!state_->editing)
        return;
    state_->haveSaved = ::tcgetattr(STDIN_FILENO, &state_->saved) == 0;
    rl_readline_name = "vantor";
    rl_catch_signals = 0;
    rl_catch_sigwinch = 0;
    rl_getc_function = nextKey;
    stifle_history(500);
    for (const std::string& line : history)
        add_history(line.c_str());
    rl_callback_handler_install(state_->prompt.c_str(), lineDone);
    // A tab is a character of a command here, not a file name to complete.
    rl_bind_key('\t', rl_insert);
}

LineEditor::~LineEditor()
{
    if (state_->editing) {
        rl_callback_handler_remove();
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (state_->haveSaved)
        ::tcsetattr(STDIN_FILENO, TCSADRAIN, &state_->saved);
    current = nullptr;
}

bool LineEditor::editing() const
{
    return state_->editing;
}

LineEditor::Input LineEditor::wait(int waitMs)
{
    State& state = *state_;
    if (TermSignals::takeInterrupt()) {
        if (!state.editing || state.length == 0)
            return {Input::Kind::Interrupt, {}};
        // As a shell does: the line stays on the screen with ^C after it, and is cut (Ctrl+U,
        // libedit's own kill-line: its rl_replace_line leaves what it draws as it was).
        print(stdout, state.prompt + std::string(rl_line_buffer, state.length) + "^C");
        state.typed.insert(0, "\x15");
        rl_callback_read_char();
        state.length = 0;
        return {};
    }
    if (!state.editing) {
        if (state.typed.find('\n') == std::string::npos && !state.ended)
            state.ended = !readKeys(&state.typed, waitMs);
        const std::size_t end = state.typed.find('\n');
        if (end == std::string::npos && !state.ended)
            return {};
        if (end == std::string::npos && state.typed.empty())
            return {Input::Kind::End, {}};
        std::string line = state.typed.substr(0, end);
        state.typed.erase(0, end == std::string::npos ? state.typed.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return {Input::Kind::Line, line};
    }
    if (TermSignals::takeResize())
        rl_resize_terminal();
    if (state.typed.empty() && !readKeys(&state.typed, waitMs))
        return {Input::Kind::End, {}};
    while (!state.typed.empty()) {
        const char key = state.typed.front();
        if (state.menuArmed || key == menuKey) {
            state.typed.erase(0, 1);
            state.menuArmed = !state.menuArmed;
            if (!state.menuArmed)
                return {Input::Kind::MenuKey, std::string(1, key)};
            continue;
        }
        rl_callback_read_char();
        state.length = static_cast<std::size_t>(rl_end);
        if (state.ready) {
            state.length = 0;
            // libedit's callback interface starts the next line cleanly only when installed afresh:
            // otherwise its prompt is not drawn, and what is printed meanwhile draws the line just
            // entered again below it.
            rl_callback_handler_remove();
            rl_callback_handler_install(state.prompt.c_str(), lineDone);
            Input answer = *state.ready;
            state.ready.reset();
            return answer;
        }
    }
    return {};
}

void LineEditor::print(std::FILE* stream, const std::string& line)
{
    std::fflush(stdout);
    if (state_->editing)
        std::fputs("\r\x1b[K", stdout), std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    if (state_->editing)
        rl_forced_update_display();
}

void LineEditor::setPrompt(const std::string& prompt)
{
    state_->prompt = prompt;
    if (!state_->editing)
        return;
    rl_set_prompt(state_->prompt.c_str());
    std::fputs("\r\x1b[K", stdout);
    rl_forced_update_display();
}

} // namespace vantor::cli
