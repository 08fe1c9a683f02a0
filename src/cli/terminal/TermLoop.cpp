#include "cli/terminal/TermLoop.h"

#include "cli/ExitStatus.h"
#include "cli/options/OptionValues.h"
#include "cli/terminal/TermMenu.h"
#include "cli/terminal/TermSignals.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"

namespace vantor::cli {

using Kind = LineEditor::Input::Kind;
using console::StopSignals;
using console::TermEvent;

namespace {
const char* const prompt = "> ";
const char* const idPrompt = "PLC ID for typed commands (hex; empty: sent as typed): ";
} // namespace

TermLoop::TermLoop(console::TermSession& session, console::SerialConsole& console, TermScreen& screen,
                   TermLog& log, HistoryFile& history, LineEditor& editor)
    : session_(session), console_(console), screen_(screen), log_(log), history_(history), editor_(editor)
{}

int TermLoop::run()
{
    for (;;) {
        if (StopSignals::requested())
            return StopSignals::exitStatus();
        show(session_.poll(0));
        // A script is not there to plug the adapter back in.
        if (session_.waitingForPort() && !editor_.editing())
            return PortLost;
        const LineEditor::Input input = editor_.wait(session_.waitingForPort() ? 2 * sliceMs : sliceMs);
        if (input.kind == Kind::End || input.kind == Kind::Interrupt)
            return log_.failure().empty() ? Success : RecordNotWritten;
        if (input.kind == Kind::MenuKey && !onMenuKey(input.text.front()))
            return log_.failure().empty() ? Success : RecordNotWritten;
        if (input.kind == Kind::Line)
            onLine(input.text);
    }
}

void TermLoop::onLine(const std::string& line)
{
    if (askingId_) {
        askingId_ = false;
        editor_.setPrompt(prompt);
        return setId(line);
    }
    if (editor_.editing() && !line.empty() && line != newestLine_) {
        newestLine_ = line;
        if (const auto kept = history_.append(line); !kept.ok())
            screen_.note("cannot keep the history any more: " + kept.message);
    }
    const std::vector<TermEvent> events = session_.send(line);
    show(events);
    // A Ctrl+C that ended the wait for the reply is not also a key at the prompt.
    for (const TermEvent& event : events) {
        if (event.kind == TermEvent::Kind::Interrupted)
            TermSignals::takeInterrupt();
    }
}

void TermLoop::setId(const std::string& text)
{
    std::int16_t id = 0;
    if (text.empty()) {
        session_.setFramingId(std::nullopt);
        screen_.setShowSent(false);
        return screen_.note("typed commands are sent as typed");
    }
    if (const auto read = OptionValues::strictId(text, &id); !read.ok())
        return screen_.note(read.message);
    session_.setFramingId(id);
    screen_.setShowSent(editor_.editing());
    screen_.note("typed commands are framed for PLC " + hostlink::Frame::renderHex(id));
}

bool TermLoop::onMenuKey(char key)
{
    using Action = TermMenu::Action;
    switch (TermMenu::actionFor(key)) {
    case Action::Help:
        for (const std::string& line : TermMenu::helpLines())
            screen_.note(line);
        break;
    case Action::Dtr:
        show(session_.setModemLine(serial::ModemLine::Dtr, !console_.settings().dtr));
        break;
    case Action::Rts:
        show(session_.setModemLine(serial::ModemLine::Rts, !console_.settings().rts));
        break;
    case Action::Break:
        show(session_.sendBreak());
        break;
    case Action::ChangeId:
        askingId_ = true;
        editor_.setPrompt(idPrompt);
        break;
    case Action::Timestamps:
        screen_.setTimestamps(!screen_.timestamps());
        toggled("timestamps", screen_.timestamps());
        break;
    case Action::Hex:
        screen_.setHex(!screen_.hex());
        toggled("hex", screen_.hex());
        break;
    case Action::Quit:
        return false;
    case Action::Nothing:
        break;
    case Action::Unknown:
        screen_.note("Ctrl+T " + std::string(1, key) + " is no menu key; Ctrl+T ? lists them");
        break;
    }
    return true;
}

void TermLoop::toggled(const char* what, bool on)
{
    screen_.note(std::string(what) + (on ? " on" : " off"));
}

void TermLoop::show(const std::vector<TermEvent>& events)
{
    for (const TermEvent& event : events) {
        if (event.kind == TermEvent::Kind::Lost || event.kind == TermEvent::Kind::Back ||
            event.kind == TermEvent::Kind::Control)
            log_.note(event.kind == TermEvent::Kind::Back ? event.text + " is back" : event.text);
    }
    screen_.show(events);
}

} // namespace vantor::cli
