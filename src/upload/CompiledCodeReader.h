#pragma once

#include <cstdio>
#include <string>

namespace vantor::upload {

enum class FileProblem {
    None,
    NoneChosen, // the file name is empty, or still the dialog's "*.VQC" pattern
    NotFound,
    NotPermitted,
    IsFolder,
    ReadError, // the file opened, but reading it failed
};

// Reads a compiled-code file line by line, holding one line at a time, so a file of any size is read
// in constant memory. A line ends only at CR; an LF right after the CR belongs to the line end, any
// other LF stays in the text. A last line without CR still counts. Bytes pass through unchanged.
class CompiledCodeReader
{
public:
    CompiledCodeReader() = default;
    ~CompiledCodeReader();
    CompiledCodeReader(const CompiledCodeReader&) = delete;
    CompiledCodeReader& operator=(const CompiledCodeReader&) = delete;

    // Opens path for reading; None on success.
    FileProblem open(const std::string& path);
    void close();

    // Reads the next line into line. False at the end of the file or on a read error (see problem()).
    bool readLine(std::string& line);

    // 1 for the first line read, and so on.
    int lineNumber() const { return lineNumber_; }
    FileProblem problem() const { return problem_; }

    // A sentence naming the file and the problem, e.g. "Cannot open x.VQC: no such file".
    static std::string describe(FileProblem problem, const std::string& path);

private:
    std::FILE* file_ = nullptr;
    int lineNumber_ = 0;
    FileProblem problem_ = FileProblem::None;
};

} // namespace vantor::upload
