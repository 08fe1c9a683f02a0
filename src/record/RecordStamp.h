#pragma once

#include "serial/Result.h"

#include <map>
#include <string>

namespace vantor::record {

// What a run is for, as whoever started it said: the profile it took its options from and the tags
// given with it (a work order, a cabinet, a unit's serial number). Copied into each of the run's
// result lines, so that an audit finds them without the command line.
struct RecordStamp
{
    std::string profile;                     // the profile's name; empty when none was used
    std::map<std::string, std::string> tags; // by key; the values any text (bytes as given)

    // Adds one tag given as KEY=VALUE: the text before the first '=' is the key, one or more ASCII
    // letters, digits, '_' and '-'; the rest is the value, any text, empty too. A key given again
    // takes its last value, as an option given twice does (so a command line's tag wins over a
    // profile's of the same key, which comes first). A failure's message names the text and why,
    // in words that may follow "--tag ".
    serial::Result<> addTag(const std::string& keyEqualsValue);
    // Whether key may name a tag (see addTag).
    static bool validKey(const std::string& key);
};

} // namespace vantor::record
