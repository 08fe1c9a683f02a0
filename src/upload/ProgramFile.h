#pragma once

#include "serial/StopToken.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor::upload {

enum class FileProblem {
    None,
    NoneChosen,   // the file name is empty, only blanks, or still the dialog's "*.VQC" pattern
    NotFound,     // no such file, or a folder on the way is missing
    NotPermitted, // the system refused access
    IsFolder,
    NotReadable, // any other reason the system gives for not opening or reading it
    TooLarge,    // input that is not a regular file holds more than ProgramFile::maxStreamBytes
    Stalled,     // input that is not a regular file sent nothing for ProgramFile::stallMs
    Interrupted, // the stop token asked to stop while waiting for input or during a read
    LineTooLong, // a line is longer than CompiledCodeReader::maxLineBytes
    Changed,     // a second pass found bytes other than the first pass read (CompiledCodeReader)
};

// The bytes of the program file, read the same way twice.
//
// Opening never blocks: the path is opened non-blocking and then inspected. A regular file is read
// from its open descriptor, so a file renamed over or deleted after opening is still read as it was
// opened; rewind() seeks back to its start (whether its bytes changed meanwhile is for the caller to
// find out). Anything else that can be read (a pipe, a FIFO, a terminal, a character device) is read
// once, to its end, into memory at open(): at most maxStreamBytes, waiting at most stallMs for each
// piece, so an endless or silent source ends in a problem instead of a hang or unbounded memory.
// Bytes are read as they are: no line-end translation on any platform. On Windows the path is taken
// as UTF-8 (the ANSI code page when it is not valid UTF-8), and a silent pipe is waited for.
class ProgramFile
{
public:
    static constexpr std::size_t maxStreamBytes = 16u << 20; // 16 MiB
    static constexpr int stallMs = 10000;

    ProgramFile() = default;
    ~ProgramFile();
    ProgramFile(const ProgramFile&) = delete;
    ProgramFile& operator=(const ProgramFile&) = delete;

    // None on success. On failure the system's reason, if any, is in reason(). stop is asked while
    // waiting for input that is not a regular file, and when a signal breaks off a read of a regular
    // file that would not return (/proc/kmsg); true ends the wait or the read (Interrupted). It is
    // kept for the reads until the next open().
    FileProblem open(const std::string& path, serial::StopToken stop = {});
    // Takes bytes as the whole input, exactly as input that is not a regular file is held after open().
    void openMemory(std::string bytes);
    void close();

    // What read() returns when the stop check ended a read.
    static constexpr std::int64_t readInterrupted = -2;
    // Up to size bytes into buffer: the count, 0 at the end, -1 on a read error (see reason()), or
    // readInterrupted.
    std::int64_t read(char* buffer, std::size_t size);
    // Back to the first byte. False on failure (see reason()).
    bool rewind();

    // Whether the input is a regular file, which can be read again from its start.
    bool isRegular() const { return regular_; }
    // Whether path names no file at all: empty, only blanks, or the dialog's "*.VQC" pattern.
    static bool namesNoFile(const std::string& path);
    // The system's words for the last failure ("Too many levels of symbolic links"); may be empty.
    const std::string& reason() const { return reason_; }

private:
    FileProblem fail(FileProblem problem, int systemError);
    // Adds bytes of input that is not a regular file to memory_; false beyond maxStreamBytes.
    bool keep(const char* bytes, std::size_t count);
    // The platform's part (ProgramFilePosix.cpp, ProgramFileWindows.cpp): open() itself, and the open
    // regular file's descriptor.
    void closeHandle();
    std::int64_t readHandle(char* buffer, std::size_t size);
    bool seekToStart();
    FileProblem slurp();

    int fd_ = -1;
    bool regular_ = false;
    std::string memory_; // the whole input, when it is not a regular file
    std::size_t memoryAt_ = 0;
    std::string reason_;
    serial::StopToken stop_;
};

} // namespace vantor::upload
