#pragma once

#include <string>

namespace vantor::record {

// Who and where, as the system says it, for the record: never from environment variables (HOSTNAME,
// USER, COMPUTERNAME, USERNAME), which whoever starts the tool sets as they like. POSIX:
// gethostname() and the password database's name for geteuid(), the account the tool acts as (root
// under sudo, whoever typed it). Windows: GetComputerNameExW's DNS host name and GetUserNameW, as UTF-8.
// Both asked once per process, on first use (thread-safe); they may block on the system's name
// services (NSS, a directory) that first time.
class MachineIdentity
{
public:
    // The machine's host name; empty when the system gives none.
    static const std::string& hostName();
    // The account's name; on POSIX its number in decimal when the system has no name for it, on
    // Windows empty when the system gives none.
    static const std::string& userName();
#ifndef _WIN32
    // The name the password database has for the user with that ID; empty for none.
    static std::string accountName(unsigned int uid);
#endif
};

} // namespace vantor::record
