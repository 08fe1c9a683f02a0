#include "cli/terminal/TermMenu.h"

#include "cli/terminal/LineEditor.h"

#include <cctype>

namespace vantor::cli {

const std::vector<TermMenu::Entry>& TermMenu::entries()
{
    static const std::vector<Entry> table{
        {'?', Action::Help, "list these keys"},
        {'h', Action::Help, "list these keys"},
        {'d', Action::Dtr, "toggle DTR"},
        {'r', Action::Rts, "toggle RTS"},
        {'b', Action::Break, "send a break"},
        {'i', Action::ChangeId, "change the PLC ID that typed commands are framed for (empty: as typed)"},
        {'t', Action::Timestamps, "toggle timestamps"},
        {'x', Action::Hex, "toggle hex (bytes as hexadecimal)"},
        {'q', Action::Quit, "quit"},
    };
    return table;
}

TermMenu::Action TermMenu::actionFor(char key)
{
    if (key == LineEditor::menuKey)
        return Action::Nothing;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
    for (const Entry& entry : entries()) {
        if (entry.key == lower)
            return entry.action;
    }
    return Action::Unknown;
}

std::vector<std::string> TermMenu::helpLines()
{
    std::vector<std::string> lines;
    const Entry* previous = nullptr;
    for (const Entry& entry : entries()) {
        // Two keys for one action share a line: "Ctrl+T ? or h".
        if (previous && previous->action == entry.action)
            lines.back().replace(lines.back().find("  "), 2, std::string(" or ") + entry.key + "  ");
        else
            lines.push_back(std::string("Ctrl+T ") + entry.key + "  " + entry.what);
        previous = &entry;
    }
    return lines;
}

} // namespace vantor::cli
