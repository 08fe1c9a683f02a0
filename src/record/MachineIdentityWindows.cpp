#include "record/MachineIdentity.h"

#include <windows.h>

#include <vector>

namespace vantor::record {

namespace {

std::string utf8(const wchar_t* text, int length)
{
    if (length <= 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
    return out;
}

} // namespace

const std::string& MachineIdentity::hostName()
{
    static const std::string name = [] {
        DWORD size = 0;
        GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size); // asks for the size, with room for NUL
        std::vector<wchar_t> text(size + 1);
        if (size == 0 || !GetComputerNameExW(ComputerNameDnsHostname, text.data(), &size))
            return std::string();
        return utf8(text.data(), static_cast<int>(size));
    }();
    return name;
}

const std::string& MachineIdentity::userName()
{
    static const std::string name = [] {
        DWORD size = 0;
        GetUserNameW(nullptr, &size); // the size, NUL included
        std::vector<wchar_t> text(size + 1);
        if (size == 0 || !GetUserNameW(text.data(), &size))
            return std::string();
        return utf8(text.data(), static_cast<int>(size) - 1); // size counted the NUL
    }();
    return name;
}

} // namespace vantor::record
