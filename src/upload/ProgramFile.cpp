#include "upload/ProgramFile.h"

#include <algorithm>
#include <cstring>

namespace vantor::upload {

ProgramFile::~ProgramFile()
{
    close();
}

void ProgramFile::close()
{
    closeHandle();
    regular_ = false;
    memory_.clear();
    memory_.shrink_to_fit();
    memoryAt_ = 0;
}

FileProblem ProgramFile::fail(FileProblem problem, int systemError)
{
    reason_ = systemError != 0 ? std::strerror(systemError) : std::string();
    close();
    return problem;
}

bool ProgramFile::namesNoFile(const std::string& path)
{
    return path.find_first_not_of(" \t") == std::string::npos || path == "*.VQC";
}

void ProgramFile::openMemory(std::string bytes)
{
    close();
    reason_.clear();
    memory_ = std::move(bytes);
    memoryAt_ = 0;
}

bool ProgramFile::keep(const char* bytes, std::size_t count)
{
    if (memory_.size() + count > maxStreamBytes)
        return false;
    memory_.append(bytes, count);
    return true;
}

std::int64_t ProgramFile::read(char* buffer, std::size_t size)
{
    if (regular_)
        return readHandle(buffer, size);
    const std::size_t n = std::min(size, memory_.size() - memoryAt_);
    std::memcpy(buffer, memory_.data() + memoryAt_, n);
    memoryAt_ += n;
    return static_cast<std::int64_t>(n);
}

bool ProgramFile::rewind()
{
    if (!regular_) {
        memoryAt_ = 0;
        return true;
    }
    return seekToStart();
}

} // namespace vantor::upload
