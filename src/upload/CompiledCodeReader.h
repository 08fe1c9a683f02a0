#pragma once

#include "upload/ProgramFile.h"
#include "upload/Sha256.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantor::upload {

// Reads a compiled-code file line by line, holding one line at a time, so a regular file of any size
// is read in constant memory (see ProgramFile for other input). A line ends only at CR; an LF right
// after the CR belongs to the line end, any other LF stays in the text. A last line without CR still
// counts. Bytes pass through unchanged.
//
// The input is read in blocks of blockBytes. Each block is fingerprinted as it is read and goes into a
// running fingerprint of the whole input, so two passes over the same input can be compared: equal
// fingerprints and byte counts mean the same bytes, barring a deliberate collision. The first pass
// keeps each block's fingerprint (16 bytes a block), and a pass after rewind() compares each block as
// it is read, before any line in it is returned.
class CompiledCodeReader
{
public:
    // No record comes near this; a longer line is a wrong or damaged file, and is refused rather than
    // held in memory or sent as a frame that would take minutes on the line.
    static constexpr std::size_t maxLineBytes = 64 * 1024;
    static constexpr std::size_t blockBytes = 64 * 1024;

    CompiledCodeReader();
    ~CompiledCodeReader() = default;
    CompiledCodeReader(const CompiledCodeReader&) = delete;
    CompiledCodeReader& operator=(const CompiledCodeReader&) = delete;

    // Opens path for reading; None on success. stop: see ProgramFile::open.
    FileProblem open(const std::string& path, serial::StopToken stop = {});
    // Reads bytes as the input, through the same path as input that is not a regular file.
    void openBytes(std::string bytes);
    void close() { file_.close(); }
    // Starts again at the first line, with a fresh line count and fingerprint. From then on every
    // block is compared with the same block of the pass before, which must have read to the end: a
    // block that differs, or an end at another place, stops the reading with FileProblem::Changed
    // before a line of that block is returned. False on failure.
    bool rewind();

    // Reads the next line into line. False at the end of the file, or on a problem (see problem()):
    // a read error, a changed block, a stop request, or a line longer than maxLineBytes, whose number
    // lineNumber() then gives.
    bool readLine(std::string& line);

    // 1 for the first line read, and so on.
    std::int64_t lineNumber() const { return lineNumber_; }
    FileProblem problem() const { return problem_; }
    // The bytes of the lines read so far, and the fingerprint of the blocks read so far (of the whole
    // input once the end was reached).
    std::uint64_t bytesRead() const { return bytesRead_; }
    std::uint64_t fingerprint() const { return fingerprint_; }
    // What the pass before the last rewind() read: its byte count and fingerprint.
    std::uint64_t checkedBytes() const { return checkedBytes_; }
    std::uint64_t checkedFingerprint() const { return checkedFingerprint_; }

    // The SHA-256 of the whole input as the first pass read it (64 lower-case hex digits), once that
    // pass reached the end; empty before. A rewind() keeps it.
    const std::string& sha256() const { return sha256_; }
    // Asks the first pass after the next open to keep a copy of every byte it reads, for takeBytes(),
    // so that several uploads can send the same bytes, when the input cannot be read again (it is no
    // regular file; a regular file is read again instead, and nothing is kept). The copy is bounded:
    // beyond ProgramFile::maxStreamBytes the reading stops with FileProblem::TooLarge.
    void keepBytes(bool keep) { keep_ = keep; }
    // Whether the input is a regular file, which every upload can read again for itself.
    bool isRegular() const { return file_.isRegular(); }
    std::string takeBytes() { return std::move(kept_); }

    // A sentence naming the file and the problem, e.g. "Cannot open x.VQC: no such file", with the
    // system's reason where it gave one.
    std::string describeProblem(const std::string& path) const;

private:
    struct Block
    {
        std::uint64_t fingerprint;
        std::size_t size;
        bool operator!=(const Block& other) const
        {
            return fingerprint != other.fingerprint || size != other.size;
        }
    };
    void start();
    bool fill();
    // Records the block just read (size bytes, 0 at the end of the input) or, after a rewind, checks
    // it against the first pass's. False when it differs.
    bool checkBlock(std::size_t size);
    void consume(std::size_t count);

    ProgramFile file_;
    std::unique_ptr<char[]> buffer_; // blockBytes, left uninitialised: only bytes read are looked at
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool openFailed_ = false;
    std::int64_t lineNumber_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t fingerprint_ = 0;
    std::uint64_t checkedBytes_ = 0;
    std::uint64_t checkedFingerprint_ = 0;
    std::vector<Block> blocks_;
    std::size_t nextBlock_ = 0;
    bool verifying_ = false;
    Sha256 sha_;
    std::string sha256_;
    bool keep_ = false;
    std::string kept_;
    FileProblem problem_ = FileProblem::None;
};

} // namespace vantor::upload
