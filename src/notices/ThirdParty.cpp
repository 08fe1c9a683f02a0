#include "notices/ThirdParty.h"

#include <algorithm>
#include <cstring>

namespace vantor::notices {

const ThirdParty::Program* ThirdParty::find(const std::string& program)
{
    for (const Program& known : programs())
        if (program == known.name)
            return &known;
    return nullptr;
}

std::vector<ThirdParty::Component> ThirdParty::components(const std::string& program)
{
    const Program* known = find(program);
    return known ? known->components : std::vector<Component>{};
}

std::string ThirdParty::listing(const std::string& program)
{
    const std::vector<Component> all = components(program);
    std::size_t nameWidth = 0;
    std::size_t versionWidth = 0;
    for (const Component& c : all) {
        nameWidth = std::max(nameWidth, std::strlen(c.name));
        versionWidth = std::max(versionWidth, std::strlen(c.version));
    }
    const auto row = [&](const Component& c) {
        std::string line = std::string("  ") + c.name;
        line += std::string(nameWidth + 2 - std::strlen(c.name), ' ') + c.version;
        line += std::string(versionWidth + 2 - std::strlen(c.version), ' ') + c.licence + "\n";
        return line;
    };
    std::string contained;
    std::string used;
    for (const Component& c : all)
        (c.dependency ? used : contained) += row(c);
    std::string text;
    if (!contained.empty())
        text += "Contains (name, version, licence):\n" + contained;
    if (!used.empty())
        text += "Uses from the system, not contained:\n" + used;
    return text;
}

std::string ThirdParty::notices(const std::string& program)
{
    const Program* known = find(program);
    return known ? known->notices : "";
}

} // namespace vantor::notices
