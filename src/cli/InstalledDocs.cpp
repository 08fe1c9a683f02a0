#include "cli/InstalledDocs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#include <windows.h>
#else
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor::cli {

std::string InstalledDocs::programFolder()
{
#ifdef _WIN32
    std::wstring path(32768, L'\0'); // the longest path Windows has
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    path.erase(path.find_last_of(L"\\/") + 1);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string folder(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), folder.data(), bytes, nullptr,
                        nullptr);
    return folder;
#else
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        return "";
    std::string folder(path, static_cast<std::size_t>(length));
    return folder.erase(folder.find_last_of('/') + 1);
#endif
}

std::string InstalledDocs::manual()
{
#ifdef _WIN32
    return "the manual: " + programFolder() + "manual\\vantor.html";
#else
    return "vantor(1)";
#endif
}

std::string InstalledDocs::seeManual()
{
#ifdef _WIN32
    return "See " + manual();
#else
    return "See " + manual() + ".";
#endif
}

std::string InstalledDocs::noticesFile()
{
#ifdef _WIN32
    return programFolder() + "THIRD-PARTY-NOTICES.txt";
#else
    // A program in PREFIX/bin finds the notices under PREFIX/share, wherever PREFIX is.
    const std::string folder = programFolder();
    const std::string bin = "/" VANTOR_BIN_IN_PREFIX "/";
    if (folder.size() > bin.size() && folder.compare(folder.size() - bin.size(), bin.size(), bin) == 0)
        return folder.substr(0, folder.size() - bin.size() + 1) + VANTOR_NOTICES_IN_PREFIX;
    return VANTOR_NOTICES_FILE;
#endif
}

std::string InstalledDocs::unreadable(const std::string& path)
{
#ifdef _WIN32
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), error);
    if (error)
        return error.message();
    if (status.type() == std::filesystem::file_type::directory)
        return "a folder";
    if (status.type() != std::filesystem::file_type::regular)
        return "not a regular file";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::strerror(errno);
    errno = 0;
    const bool readable = std::fgetc(file) != EOF;
    const int why = errno;
    std::fclose(file);
#else
    // Opened without blocking and checked on the opened file itself: a FIFO put in its place (by
    // anyone who can write the folder) would otherwise hold --version --verbose until a writer came,
    // and a check of the name before opening it could be raced.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::strerror(errno);
    struct stat info
    {
    };
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    char byte = 0;
    errno = 0;
    const bool readable = regular && read(fd, &byte, 1) == 1;
    const int why = errno;
    close(fd);
    if (!regular)
        return S_ISDIR(info.st_mode) ? "a folder" : "not a regular file";
#endif
    if (readable)
        return "";
    return why != 0 ? std::strerror(why) : "empty";
}

std::string InstalledDocs::noticesLine()
{
    const std::string path = noticesFile();
    const std::string why = unreadable(path);
    if (why.empty())
        return "The licences in full: " + path;
    return "The licences in full belong in " + path + ", which cannot be read (" + why +
           "): reinstall the program to restore it.";
}

} // namespace vantor::cli
