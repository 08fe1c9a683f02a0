// RecordFile over Win32 files: FILE_APPEND_DATA for the single write at the end, LockFileEx for
// whole lines among processes, FlushFileBuffers for the disk. The path is UTF-8 (or, failing that,
// the ANSI code page), opened through the wide-character API so that any file name works.
#include "record/RecordFile.h"

#include <windows.h>

namespace vantor::record {

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

std::string errorText(DWORD error)
{
    char* text = nullptr;
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "error " + std::to_string(error);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

HANDLE native(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

RecordFile::~RecordFile()
{
    if (handle_ != -1)
        ::CloseHandle(native(handle_));
}

bool RecordFile::isOpen() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return handle_ != -1;
}

std::string RecordFile::error() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

bool RecordFile::open(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    const std::wstring wide = widen(path);
    // Shared for reading and writing: other runs append to it too, and anyone may read it meanwhile.
    const HANDLE file = wide.empty() ? INVALID_HANDLE_VALUE
                                     : ::CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = wide.empty() ? "the name is not a file name" : errorText(::GetLastError());
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        error_ = "it is not a regular file";
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool RecordFile::append(const std::string& line)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ == -1) {
        error_ = error_.empty() ? "the record file is not open" : error_;
        return false;
    }
    OVERLAPPED whole{};
    if (!::LockFileEx(native(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error_ = "cannot lock it: " + errorText(::GetLastError());
        return false;
    }
    const bool written = appendLocked(line + "\n");
    ::UnlockFileEx(native(handle_), 0, MAXDWORD, MAXDWORD, &whole);
    return written;
}

bool RecordFile::appendLocked(const std::string& bytes)
{
    LARGE_INTEGER before{};
    if (!::GetFileSizeEx(native(handle_), &before)) {
        error_ = errorText(::GetLastError());
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(native(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!ok || written != bytes.size()) {
        error_ = !ok ? errorText(::GetLastError()) : "the disk took only part of a line (is it full?)";
        if (written > 0) {
            // The handle appends only; cutting the partial line off needs a handle that may write.
            const std::wstring wide = widen(path_);
            const HANDLE cut = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (cut != INVALID_HANDLE_VALUE) {
                ::SetFilePointerEx(cut, before, nullptr, FILE_BEGIN);
                ::SetEndOfFile(cut);
                ::CloseHandle(cut);
            }
        }
        return false;
    }
    if (!::FlushFileBuffers(native(handle_))) {
        error_ = "cannot flush it to the disk: " + errorText(::GetLastError());
        return false;
    }
    return true;
}

} // namespace vantor::record
