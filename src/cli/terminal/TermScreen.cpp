#include "cli/terminal/TermScreen.h"

#include "cli/terminal/LineEditor.h"
#include "cli/terminal/TermClock.h"
#include "cli/terminal/Terminal.h"
#include "hostlink/ControlText.h"

namespace vantor::cli {

using Kind = console::TermEvent::Kind;

TermScreen::TermScreen(LineEditor* editor) : editor_(editor), outIsTerminal_(Terminal::isTerminal(stdout)) {}

void TermScreen::show(const std::vector<console::TermEvent>& events)
{
    for (const console::TermEvent& event : events)
        show(event);
}

void TermScreen::show(const console::TermEvent& event)
{
    switch (event.kind) {
    case Kind::Opened:
        return print(stderr, hostlink::ControlText::escapeControls(event.text));
    case Kind::Warning:
    case Kind::Problem:
    case Kind::NotSent:
        return note(event.text);
    case Kind::Sent:
        if (showSent_ || timestamps_ || hex_)
            print(stdout, "> " + traffic(event.text));
        return;
    case Kind::Reply:
        return print(stdout, traffic(event.text));
    case Kind::NoReply:
        return print(stdout, "(Warning: No Response from PLC)");
    case Kind::Unasked:
        return print(stdout, "(unasked) " + traffic(event.text));
    case Kind::Interrupted:
        return note("interrupted: no longer waiting for the reply");
    case Kind::Lost:
        return note(event.text + " Waiting for it to come back (Ctrl+T q quits).");
    case Kind::Back:
        return note(event.text + " is back.");
    case Kind::Control:
        return note(event.text);
    }
}

void TermScreen::note(const std::string& text)
{
    print(stderr, "vantor: " + hostlink::ControlText::escapeControls(text));
}

std::string TermScreen::traffic(const std::string& bytes) const
{
    if (!hex_)
        return outIsTerminal_ ? hostlink::ControlText::escape(bytes) : bytes;
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

void TermScreen::print(std::FILE* stream, const std::string& text)
{
    const std::string line = timestamps_ ? "[" + TermClock::timeOfDay() + "] " + text : text;
    if (editor_) {
        editor_->print(stream, line);
        return;
    }
    std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace vantor::cli
