#include "upload/CompiledCodeFormat.h"

#include <cctype>

namespace vantor::upload {

namespace {
std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

std::optional<std::string> CompiledCodeFormat::codeFor(const std::string& line)
{
    static const struct
    {
        const char* prefix;
        const char* code;
    } records[] = {
        {"01:", "CZ"}, {"02:", "CF"}, {"03:", "Wm"}, {"04:", "Wu"}, {"05:", "CT"}, {"06:", "WF"},
    };
    if (line.size() < 3)
        return std::nullopt;
    for (const auto& r : records) {
        if (line.compare(0, 3, r.prefix) == 0)
            return std::string(r.code);
    }
    return std::nullopt;
}

std::optional<std::string> CompiledCodeFormat::commandFor(const std::string& line)
{
    auto code = codeFor(line);
    if (!code)
        return std::nullopt;
    code->append(line, 3, std::string::npos);
    return code;
}

std::string CompiledCodeFormat::headerProblem(const std::string& line)
{
    const std::string expected = header;
    if (line == expected)
        return {};
    // Editors add one byte-order mark; a damaged file may hold any number, so count them, no recursion.
    std::size_t marks = 0;
    while (line.compare(marks, 3, "\xEF\xBB\xBF") == 0)
        marks += 3;
    if (marks > 0 && line.compare(marks, std::string::npos, expected) == 0)
        return "the file starts with a byte-order mark (EF BB BF) before the header; save it without one";
    if (line.compare(0, expected.size() + 1, expected + "\n") == 0)
        return "its lines end with LF alone; the file needs CR LF line ends";
    if (line.size() > expected.size() && line.compare(0, expected.size(), expected) == 0) {
        if (line.find_first_not_of(" \t", expected.size()) == std::string::npos)
            return "the header line has trailing blanks";
        return "the header line has more text after \"" + expected + "\"";
    }
    if (lower(line) == lower(expected))
        return "the header must be written exactly \"" + expected + "\" (letter case differs)";
    return "the first line is not \"" + expected + "\"; this is not a compiled program file";
}

} // namespace vantor::upload
