// RecordFile over Win32 files: FILE_APPEND_DATA for the single write at the end, LockFileEx for
// whole lines among processes, FlushFileBuffers for the disk. The path is UTF-8 (or, failing that,
// the ANSI code page), opened through the wide-character API so that any file name works.
//
// The name's last component is opened as it is (FILE_FLAG_OPEN_REPARSE_POINT) and refused when it is
// a reparse point (a symbolic link, a junction, a mount point): a link under the name is never
// followed, and a dangling one never creates a file where it points.
//
// The POSIX checks of the owner and of "anyone may write" are not made here. On Windows, who may
// create, replace or write a file is said by access control lists (the folder's, inherited by the
// files made in it), which whoever sets up a shared record folder decides; a file's owner tells little
// (files an administrator makes belong to the Administrators group), and telling a forged file from a
// shared one would take weighing those lists against this process's token, which no simple rule does
// right. A byte-range lock does not tell who holds it, so a lock not had names no holder.
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

// The name's last component itself, a reparse point included, for access; INVALID_HANDLE_VALUE when
// it cannot be opened.
HANDLE openAsItIs(const std::string& path, DWORD access, DWORD disposition)
{
    const std::wstring wide = widen(path);
    if (wide.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    // Shared for reading and writing: other runs append to it too, and anyone may read it meanwhile.
    return ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::uint64_t fileIndex(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

} // namespace

void RecordFile::closeLocked()
{
    if (handle_ != -1)
        ::CloseHandle(native(handle_));
    handle_ = -1;
}

serial::Result<> RecordFile::openLocked(const std::string& path)
{
    const HANDLE file = openAsItIs(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        return serial::failed(code == ERROR_INVALID_NAME ? "the name is not a file name" : errorText(code));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    std::string refused;
    if (::GetFileType(file) != FILE_TYPE_DISK)
        refused = "it is not a regular file";
    else if (!::GetFileInformationByHandle(file, &info))
        refused = errorText(::GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refused = "it is a link (a reparse point), which is not followed: anyone who can write its folder "
                  "could point it at another file; name the record file itself";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        refused = "it is not a regular file";
    else if (info.nNumberOfLinks > 1)
        refused = "it has another name too (a hard link), so it may be someone else's file under a name of "
                  "yours; use a record file with one name";
    if (!refused.empty()) {
        ::CloseHandle(file);
        return serial::failed(refused);
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    device_ = info.dwVolumeSerialNumber;
    inode_ = fileIndex(info);
    return {};
}

bool RecordFile::sameFileLocked() const
{
    // The handle is not shared for deleting, so the file cannot be moved or removed while it is open;
    // the name is still looked at, as on POSIX, for what a file system might allow.
    const HANDLE named = openAsItIs(path_, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool same = ::GetFileInformationByHandle(named, &info) && info.dwVolumeSerialNumber == device_ &&
                      fileIndex(info) == inode_;
    ::CloseHandle(named);
    return same;
}

serial::Result<RecordFile::LockTry> RecordFile::tryLock()
{
    OVERLAPPED whole{};
    if (::LockFileEx(native(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                     MAXDWORD, &whole))
        return {};
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING)
        return {LockTry::Busy, {}};
    return {LockTry::Failed, errorText(code)};
}

void RecordFile::unlock()
{
    OVERLAPPED whole{};
    ::UnlockFileEx(native(handle_), 0, MAXDWORD, MAXDWORD, &whole);
}

std::string RecordFile::lockHolder() const
{
    return {};
}

serial::Result<> RecordFile::appendLocked(const std::string& bytes)
{
    LARGE_INTEGER before{};
    if (!::GetFileSizeEx(native(handle_), &before)) {
        return serial::failed(errorText(::GetLastError()));
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(native(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!ok || written != bytes.size()) {
        const std::string why =
            !ok ? errorText(::GetLastError()) : "the disk took only part of a line (is it full?)";
        if (written > 0) {
            // The handle appends only; cutting the partial line off needs a handle that may write, to
            // the same file.
            const HANDLE cut = openAsItIs(path_, GENERIC_WRITE, OPEN_EXISTING);
            BY_HANDLE_FILE_INFORMATION info{};
            if (cut != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(cut, &info) &&
                info.dwVolumeSerialNumber == device_ && fileIndex(info) == inode_) {
                ::SetFilePointerEx(cut, before, nullptr, FILE_BEGIN);
                ::SetEndOfFile(cut);
            }
            if (cut != INVALID_HANDLE_VALUE)
                ::CloseHandle(cut);
        }
        return serial::failed(why);
    }
    if (!::FlushFileBuffers(native(handle_))) {
        return serial::failed("cannot flush it to the disk: " + errorText(::GetLastError()));
    }
    return {};
}

} // namespace vantor::record
