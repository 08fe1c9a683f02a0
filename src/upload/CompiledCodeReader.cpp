#include "upload/CompiledCodeReader.h"

#include <cstring>

namespace vantor::upload {

namespace {
constexpr std::uint64_t seed = 14695981039346656037ull;
constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ull;

// Mixes one 64-bit word into hash; the rotation carries high bits down, the multiplication up.
std::uint64_t mix(std::uint64_t hash, std::uint64_t word)
{
    return (((hash << 31) | (hash >> 33)) ^ word) * golden;
}

// A block's fingerprint, eight bytes at a time: cheap enough to run over every byte twice, and any
// accidental change shows.
std::uint64_t blockFingerprint(const char* bytes, std::size_t count)
{
    std::uint64_t hash = mix(seed, count);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = mix(hash, word);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, bytes + i, count - i);
    return mix(hash, tail);
}
} // namespace

CompiledCodeReader::CompiledCodeReader() : buffer_(new char[blockBytes]) {}

void CompiledCodeReader::start()
{
    at_ = end_ = 0;
    eof_ = problem_ != FileProblem::None;
    lineNumber_ = 0;
    bytesRead_ = 0;
    fingerprint_ = seed;
    nextBlock_ = 0;
}

FileProblem CompiledCodeReader::open(const std::string& path, serial::StopToken stop)
{
    problem_ = file_.open(path, std::move(stop));
    openFailed_ = problem_ != FileProblem::None;
    blocks_.clear();
    verifying_ = false;
    sha_.reset();
    sha256_.clear();
    kept_.clear();
    start();
    return problem_;
}

void CompiledCodeReader::openBytes(std::string bytes)
{
    file_.openMemory(std::move(bytes));
    problem_ = FileProblem::None;
    openFailed_ = false;
    blocks_.clear();
    verifying_ = false;
    sha_.reset();
    sha256_.clear();
    kept_.clear();
    start();
}

bool CompiledCodeReader::rewind()
{
    if (problem_ != FileProblem::None && problem_ != FileProblem::LineTooLong)
        return false;
    if (!file_.rewind()) {
        problem_ = FileProblem::NotReadable;
        return false;
    }
    checkedBytes_ = bytesRead_;
    checkedFingerprint_ = fingerprint_;
    verifying_ = true;
    problem_ = FileProblem::None;
    start();
    return true;
}

bool CompiledCodeReader::fill()
{
    if (at_ < end_)
        return true;
    if (eof_)
        return false;
    // Whole blocks, so that both passes cut the input at the same places.
    std::size_t got = 0;
    while (got < blockBytes) {
        const std::int64_t n = file_.read(buffer_.get() + got, blockBytes - got);
        if (n < 0) {
            eof_ = true;
            problem_ =
                n == ProgramFile::readInterrupted ? FileProblem::Interrupted : FileProblem::NotReadable;
            return false;
        }
        if (n == 0) {
            eof_ = true;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (!verifying_ && keep_ && !file_.isRegular() && kept_.size() + got > ProgramFile::maxStreamBytes) {
        eof_ = true;
        problem_ = FileProblem::TooLarge;
        kept_.clear();
        return false;
    }
    if (!checkBlock(got) || (eof_ && got > 0 && !checkBlock(0))) {
        eof_ = true;
        problem_ = FileProblem::Changed;
        return false;
    }
    at_ = 0;
    end_ = got;
    return got > 0;
}

bool CompiledCodeReader::checkBlock(std::size_t size)
{
    if (size == 0) { // the end of the input: where the first pass found it
        if (!verifying_ && sha256_.empty())
            sha256_ = sha_.hexDigest();
        return !verifying_ || nextBlock_ == blocks_.size();
    }
    const Block block{blockFingerprint(buffer_.get(), size), size};
    fingerprint_ = mix(fingerprint_, block.fingerprint);
    if (!verifying_) {
        sha_.update(buffer_.get(), size);
        if (keep_ && !file_.isRegular())
            kept_.append(buffer_.get(), size);
        blocks_.push_back(block);
        return true;
    }
    if (nextBlock_ >= blocks_.size() || blocks_[nextBlock_] != block)
        return false;
    ++nextBlock_;
    return true;
}

void CompiledCodeReader::consume(std::size_t count)
{
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
        const char* start = buffer_.get() + at_;
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
    case FileProblem::Changed:
        return path + " changed while it was being read";
    case FileProblem::LineTooLong:
        return "Line " + std::to_string(lineNumber_) + " of " + path + " is longer than " +
               std::to_string(maxLineBytes) + " bytes; no record is that long";
    }
    return {};
}

} // namespace vantor::upload
