#include "cli/InstalledDocs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
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

std::string InstalledDocs::noticesLine()
{
    const std::string path = noticesFile();
    // Read, not only opened: a folder or an empty file in its place opens as well.
    std::string why = "empty";
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        errno = 0;
        const bool readable = std::fgetc(file) != EOF;
        if (!readable && errno != 0)
            why = std::strerror(errno);
        std::fclose(file);
        if (readable)
            return "The licences in full: " + path;
    } else {
        why = std::strerror(errno);
    }
    return "The licences in full belong in " + path + ", which cannot be read (" + why +
           "): reinstall the program to restore it.";
}

} // namespace vantor::cli
