#include "cli/InstalledDocs.h"

#ifdef _WIN32
#include <windows.h>
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
    return "";
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
    return VANTOR_NOTICES_FILE;
#endif
}

} // namespace vantor::cli
