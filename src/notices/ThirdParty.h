#pragma once

#include <string>
#include <vector>

namespace vantor::notices {

// What each program of this platform holds of others' work, and under which licences: the table is
// made at configure time from packaging/third-party/manifest.json, with the versions the build
// machine has, so what a program says of itself is what was built into it. Plain data, any thread.
class ThirdParty
{
public:
    struct Component
    {
        const char* name;
        const char* version; // empty where the component has none of its own
        const char* licence; // an SPDX licence expression
        bool dependency;     // used from the system at run time, not contained in the program
    };
    struct Program
    {
        const char* name; // "vantor" or "vantor-uploader"
        std::vector<Component> components;
        const char* notices; // the full THIRD-PARTY-NOTICES.txt text of the program
    };

    // The components of PROGRAM ("vantor" or "vantor-uploader"); empty for a name not built here.
    static std::vector<Component> components(const std::string& program);
    // One line per component ("  name  version  licence"), what the program contains first, then
    // what it only uses; empty for a name not built here.
    static std::string listing(const std::string& program);
    // The notices with every licence text in full; empty for a name not built here.
    static std::string notices(const std::string& program);

private:
    static const std::vector<Program>& programs(); // the generated table
    static const Program* find(const std::string& program);
};

} // namespace vantor::notices
