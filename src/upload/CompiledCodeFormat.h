#pragma once

#include <optional>
#include <string>

namespace vantor::upload {

// What a compiled-code file holds: a header line, then record lines "01:" .. "06:" whose prefix
// selects a two-character command code; every other line is skipped.
class CompiledCodeFormat
{
public:
    static constexpr const char* header = "Vantor Compiled Code";

    // The whole line must be the header: case-sensitive, nothing before or after it.
    static bool isHeader(const std::string& line) { return line == header; }

    // Why a first line is not the header, in words a user can act on; empty when it is the header.
    static std::string headerProblem(const std::string& line);

    // The command code for a line's three-character prefix ("03:" -> "Wm"), or nothing for a line
    // to skip.
    static std::optional<std::string> codeFor(const std::string& line);

    // The command text for a record line: code followed by the payload (everything after the prefix,
    // unchanged); nothing for a line to skip.
    static std::optional<std::string> commandFor(const std::string& line);
};

} // namespace vantor::upload
