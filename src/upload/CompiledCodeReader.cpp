#include "upload/CompiledCodeReader.h"

#include <cstring>

namespace vantor::upload {

namespace {
// 64-bit FNV-1a: cheap enough to run over every byte, and any accidental change shows.
constexpr std::uint64_t fnvOffset = 14695981039346656037ull;
constexpr std::uint64_t fnvPrime = 1099511628211ull;
constexpr std::size_t bufferBytes = 64 * 1024;
} // namespace

CompiledCodeReader::CompiledCodeReader() : buffer_(bufferBytes) {}

FileProblem CompiledCodeReader::open(const std::string& path)
{
    problem_ = file_.open(path);
    openFailed_ = problem_ != FileProblem::None;
    at_ = end_ = 0;
    eof_ = problem_ != FileProblem::None;
    lineNumber_ = 0;
    bytesRead_ = 0;
    fingerprint_ = fnvOffset;
    return problem_;
}

bool CompiledCodeReader::rewind()
{
    if (problem_ != FileProblem::None && problem_ != FileProblem::LineTooLong)
        return false;
    if (!file_.rewind()) {
        problem_ = FileProblem::NotReadable;
        return false;
    }
    problem_ = FileProblem::None;
    at_ = end_ = 0;
    eof_ = false;
    lineNumber_ = 0;
    bytesRead_ = 0;
    fingerprint_ = fnvOffset;
    return true;
}

bool CompiledCodeReader::fill()
{
    if (at_ < end_)
        return true;
    if (eof_)
        return false;
    const std::int64_t n = file_.read(buffer_.data(), buffer_.size());
    if (n <= 0) {
        eof_ = true;
        if (n < 0)
            problem_ = FileProblem::NotReadable;
        return false;
    }
    at_ = 0;
    end_ = static_cast<std::size_t>(n);
    return true;
}

void CompiledCodeReader::consume(std::size_t count)
{
    for (std::size_t i = at_; i < at_ + count; ++i)
        fingerprint_ = (fingerprint_ ^ static_cast<unsigned char>(buffer_[i])) * fnvPrime;
    bytesRead_ += count;
    at_ += count;
}

bool CompiledCodeReader::readLine(std::string& line)
{
    line.clear();
    if (problem_ != FileProblem::None || !fill())
        return false;
    ++lineNumber_;
    for (;;) {
        const char* start = buffer_.data() + at_;
        const auto* cr = static_cast<const char*>(std::memchr(start, '\r', end_ - at_));
        const std::size_t take = cr ? static_cast<std::size_t>(cr - start) : end_ - at_;
        if (line.size() + take > maxLineBytes) {
            problem_ = FileProblem::LineTooLong;
            line.clear();
            return false;
        }
        line.append(start, take);
        consume(cr ? take + 1 : take);
        if (cr)
            break;
        if (!fill())
            return problem_ == FileProblem::None;
    }
    // An LF right after the CR is part of the line end, even when it comes in the next read.
    if (fill() && buffer_[at_] == '\n')
        consume(1);
    return problem_ == FileProblem::None;
}

std::string CompiledCodeReader::describeProblem(const std::string& path) const
{
    const std::string why = file_.reason().empty() ? std::string() : ": " + file_.reason();
    switch (problem_) {
    case FileProblem::None:
        return {};
    case FileProblem::NoneChosen:
        return "No file chosen: select the program file first";
    case FileProblem::NotFound:
        return "Cannot open " + path + ": no such file";
    case FileProblem::NotPermitted:
        return "Cannot open " + path + ": permission denied";
    case FileProblem::IsFolder:
        return "Cannot open " + path + ": it is a folder, not a file";
    case FileProblem::NotReadable:
        return (openFailed_ ? "Cannot open " : "Cannot read ") + path + why;
    case FileProblem::TooLarge:
        return "Cannot read " + path + ": it is not a regular file and holds more than " +
               std::to_string(ProgramFile::maxStreamBytes >> 20) + " MiB";
    case FileProblem::Stalled:
        return "Cannot read " + path + ": nothing arrived from it for " +
               std::to_string(ProgramFile::stallMs / 1000) + " s";
    case FileProblem::Interrupted:
        return "Stopped reading " + path + " on request";
    case FileProblem::LineTooLong:
        return "Line " + std::to_string(lineNumber_) + " of " + path + " is longer than " +
               std::to_string(maxLineBytes) + " bytes; no record is that long";
    }
    return {};
}

} // namespace vantor::upload
