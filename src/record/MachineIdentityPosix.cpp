#include "record/MachineIdentity.h"

#include <climits>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace vantor::record {

std::string MachineIdentity::accountName(unsigned int uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return {};
}

const std::string& MachineIdentity::hostName()
{
    static const std::string name = [] {
        char text[HOST_NAME_MAX + 1] = {};
        if (::gethostname(text, sizeof text - 1) != 0)
            return std::string();
        return std::string(text);
    }();
    return name;
}

const std::string& MachineIdentity::userName()
{
    static const std::string name = [] {
        const uid_t uid = ::geteuid();
        const std::string account = accountName(uid);
        return account.empty() ? std::to_string(uid) : account;
    }();
    return name;
}

} // namespace vantor::record
