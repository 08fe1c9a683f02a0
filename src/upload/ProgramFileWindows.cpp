// ProgramFile on Windows: the path is UTF-8 (or, failing that, the ANSI code page), opened through the
// wide-character API so that any file name works, and always in binary mode: text mode would turn
// CR LF into LF and break the rule that only CR ends a line.
#include "upload/ProgramFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace vantor::upload {

namespace {

std::wstring widen(const std::string& path)
{
    for (const UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n =
            ::MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
        if (n <= 0)
            continue;
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), wide.data(), n);
        return wide;
    }
    return {};
}

} // namespace

FileProblem ProgramFile::open(const std::string& path, serial::StopToken stop)
{
    close();
    stop_ = std::move(stop);
    reason_.clear();
    if (namesNoFile(path))
        return FileProblem::NoneChosen;
    const std::wstring wide = widen(path);
    // The file's attributes, not stat(): stat() fails on a folder written with a trailing backslash,
    // which opening then reports as "permission denied".
    const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FileProblem::IsFolder;
    struct _stat64 st
    {
    };
    fd_ = wide.empty() ? -1 : ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT)
            return fail(FileProblem::NotFound, 0);
        if (error == EACCES)
            return fail(FileProblem::NotPermitted, 0);
        return fail(FileProblem::NotReadable, error);
    }
    if (::_fstat64(fd_, &st) != 0)
        return fail(FileProblem::NotReadable, errno);
    if (st.st_mode & _S_IFREG) {
        regular_ = true;
        return FileProblem::None;
    }
    // A pipe or a device: read it once, within the bound. Windows has no non-blocking read of an
    // anonymous pipe, so a silent writer is waited for; the stop token still ends the wait.
    char chunk[65536];
    for (;;) {
        if (stop_.requested())
            return fail(FileProblem::Interrupted, 0);
        const int n = ::_read(fd_, chunk, sizeof chunk);
        if (n < 0)
            return fail(FileProblem::NotReadable, errno);
        if (n == 0)
            break;
        if (!keep(chunk, static_cast<std::size_t>(n)))
            return fail(FileProblem::TooLarge, 0);
    }
    ::_close(fd_);
    fd_ = -1;
    memoryAt_ = 0;
    return FileProblem::None;
}

void ProgramFile::closeHandle()
{
    if (fd_ >= 0)
        ::_close(fd_);
    fd_ = -1;
}

std::int64_t ProgramFile::readHandle(char* buffer, std::size_t size)
{
    const int n = ::_read(fd_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
    if (n < 0)
        reason_ = std::strerror(errno);
    return n;
}

bool ProgramFile::seekToStart()
{
    if (::_lseeki64(fd_, 0, SEEK_SET) == 0)
        return true;
    reason_ = std::strerror(errno);
    return false;
}

} // namespace vantor::upload
