#include "cli/commands/TermCommand.h"

#include "cli/ExitStatus.h"
#include "cli/commands/RunPlanned.h"
#include "cli/options/OptionValues.h"
#include "cli/output/TracePrinter.h"
#include "cli/output/Usage.h"
#include "cli/terminal/HistoryFile.h"
#include "cli/terminal/LineEditor.h"
#include "cli/terminal/TermLog.h"
#include "cli/terminal/TermLoop.h"
#include "cli/terminal/TermScreen.h"
#include "cli/terminal/TermSignals.h"
#include "cli/terminal/Terminal.h"
#include "console/SerialConsole.h"
#include "console/TermSession.h"

#include <memory>

namespace vantor::cli {

CommandSpec TermCommand::spec()
{
    CommandSpec spec{
        "term",
        "an interactive line terminal: type commands, read replies and what the PLC says unasked",
        "Sends each line typed as send does (the ENQ handshake before a command that begins with\n"
        "neither \"@\" nor \":\") and prints its reply, or \"(Warning: No Response from PLC)\"; with\n"
        "--frame each line is framed for --id (\"C2\" goes out as @01C230*). What arrives between\n"
        "commands is shown as it comes, as \"(unasked) TEXT\". Up and Down walk the lines typed at this\n"
        "port before (kept in ~/.local/state/vantor/term-history/), Ctrl+R searches them. Ctrl+T then a\n"
        "key: d DTR, r RTS, b break, i the PLC ID, t timestamps, x hex, ? these keys, q quit. Ctrl+C\n"
        "clears the line typed, on an empty line quits, as Ctrl+D does; Ctrl+C while a reply is awaited\n"
        "ends the wait. A port that goes away is waited for and opened again when it is back. From a\n"
        "pipe, lines are read as they come and a lost port ends the command.\n"
        "Replies go to standard output, the port's news to standard error. Exit status 0 when quit,\n"
        "2 for a bad command line, 6 when the port cannot be opened, 10 when it is lost (from a pipe),\n"
        "14 when the log could not be written, 128+N when ended by signal N.",
        CommandSpec::standardOptions(),
        {},
    };
    spec.with(PortOptions::options());
    return spec.with({
        {{"frame"}, "Frame each line typed for the PLC --id names: \"@\" + ID + line + FCS + \"*\".", "", ""},
        {{"i", "id"},
         "The PLC's ID for --frame, in hexadecimal, 1 to 4 digits (default 01); Ctrl+T i changes it.",
         "ID",
         "01",
         ProfileValue::Text},
        {{"timestamps"}, "Start each line shown with its time (Ctrl+T t toggles).", "", ""},
        {{"hex"}, "Show the line's bytes as hexadecimal (Ctrl+T x toggles)."},
        {{"log"},
         "Append everything sent and received, with its date and time, to FILE as it happens (kept as the "
         "record file is: a link or another user's file is refused).",
         "FILE"},
        Profile::option(),
    });
}

int TermCommand::run(const std::vector<std::string>& arguments)
{
    return runPlanned<Plan>(arguments, readPlan, carryOut);
}

std::optional<int> TermCommand::readPlan(const std::vector<std::string>& arguments, Plan* plan)
{
    CommandLine parser(spec());
    if (const auto early = plan->port.parse(parser, arguments, &plan->profile))
        return early;
    const Profile::Applied& profile = plan->profile;
    if (!parser.positionals().empty())
        return Usage::fail("term takes no COMMAND: type the commands once it runs");
    if (parser.isSet("frame")) {
        std::int16_t id = 1;
        if (const auto read = OptionValues::strictId(parser.value("id"), &id); !read.ok())
            return Usage::fail(profile.blame(read.message));
        plan->framingId = id;
    } else if (parser.isSet("id") && !profile.sets("id")) {
        return Usage::fail("--id is for --frame: without it a line is sent exactly as typed");
    }
    plan->timestamps = parser.isSet("timestamps");
    plan->hex = parser.isSet("hex");
    plan->logPath = parser.value("log");
    if (parser.isSet("log") && plan->logPath.empty())
        return Usage::fail("--log needs a FILE");
    return std::nullopt;
}

int TermCommand::carryOut(const Plan& plan)
{
    TermSignals::install();
    console::SerialConsole console(PortOptions::catalog(), TermSignals::token());
    plan.port.applyTo(console);
    TermLog log;
    if (!plan.logPath.empty()) {
        if (const auto opened = log.open(plan.logPath); !opened.ok()) {
            Usage::note("cannot write " + plan.logPath + ": " + opened.message);
            return RecordNotWritten;
        }
    }
    // Everything sent and received goes to the log; --trace shows it too, as for every command.
    auto printer = plan.port.trace ? std::make_shared<TracePrinter>(stderr) : nullptr;
    console.exchange().setTraceSink(
        [&log, printer](hostlink::TraceDirection direction, const std::string& bytes) {
            log.traffic(direction, bytes);
            if (printer)
                printer->print(direction, bytes);
        });
    console::TermSession session(console);
    session.setFramingId(plan.framingId);
    TermScreen screen;
    screen.setTimestamps(plan.timestamps);
    screen.setHex(plan.hex);
    std::vector<console::TermEvent> opening;
    const bool opened = session.open(&opening);
    screen.show(opening);
    if (!opened) {
        if (plan.profile.sets("port"))
            Usage::note("the port " + plan.port.portName + " comes from " + plan.profile.origin());
        return PortNotOpenable;
    }
    return talk(plan, session, console, screen, log);
}

int TermCommand::talk(const Plan& plan, console::TermSession& session, console::SerialConsole& console,
                      TermScreen& screen, TermLog& log)
{
    HistoryFile history;
    std::vector<std::string> lines;
    const bool keyboard = Terminal::isTerminal(stdin);
    if (const std::string path = keyboard ? HistoryFile::pathFor(plan.port.portName) : std::string();
        !path.empty()) {
        if (const auto kept = history.open(path, &lines); !kept.ok())
            screen.note("cannot keep the history in " + path + ": " + kept.message);
    }
    LineEditor editor("> ", lines);
    screen.setEditor(&editor);
    // From a pipe standard output holds the replies alone; on a terminal a frame is shown as sent.
    screen.setShowSent(plan.framingId.has_value() && editor.editing());
    if (editor.editing())
        screen.note("Ctrl+T ? lists the menu keys; Ctrl+T q or Ctrl+D on an empty line quits");
    const int status = TermLoop(session, console, screen, log, history, editor).run();
    if (!log.failure().empty())
        screen.note("cannot write " + plan.logPath + ": " + log.failure());
    screen.setEditor(nullptr);
    return status;
}

} // namespace vantor::cli
