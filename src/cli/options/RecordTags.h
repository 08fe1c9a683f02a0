#pragma once

#include "cli/options/CommandLine.h"
#include "cli/options/Profile.h"
#include "record/RecordStamp.h"
#include "serial/Result.h"

#include <string>

namespace vantor::cli {

// --tag KEY=VALUE, given once per tag: what the run is for (a work order, a cabinet, a unit's serial
// number), carried by each of its result lines with the profile's name. A profile gives tags too, in
// its tags table (Profile reads it, with its keys checked there); a command line's tag wins over the
// profile's of the same key. Header-only: pure functions, nothing printed.
class RecordTags
{
public:
    static constexpr const char* optionName = "tag";

    // The option's declaration. No ProfileValue: a profile's tags are a table (Profile), not one key.
    static OptionSpec option()
    {
        return {{optionName},
                "Add KEY=VALUE (a work order, a cabinet, a unit's serial number) to each PLC's result "
                "line, in --json and the record; give it once per tag, or set them in a profile's tags "
                "table. KEY: letters, digits, '_' and '-'; VALUE: any text. A key given twice takes its "
                "last value (the command line's over the profile's).",
                "KEY=VALUE"};
    }

    // The stamp of a run: the profile's name (empty when none) and every --tag, the profile's first as
    // Profile::parse puts them. A failure's message is the sentence for the user, naming the option
    // and the tag: "--tag 'wo 1=x': the key 'wo 1' must be ...".
    static serial::Result<> read(const CommandLine& parser, const Profile::Applied& profile,
                                 record::RecordStamp* stamp)
    {
        stamp->profile = profile.name;
        for (const std::string& tag : parser.values(optionName)) {
            if (auto added = stamp->addTag(tag); !added.ok())
                return serial::failed("--" + std::string(optionName) + " " + added.message);
        }
        return {};
    }
};

} // namespace vantor::cli
