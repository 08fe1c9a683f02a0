#pragma once

#include <nlohmann/json.hpp>

namespace vantor::cli {

// The --json output: JSON Lines on standard output, one object per line, its fields in the order
// they were set. Every object carries "schema" (schemaVersion) and "event" first; the fields of each
// event are documented in vantor(1) and in docs/vantor-json.schema.json. A field is never renamed
// or given another type within a schema version; fields may be added.
//
// Text that is not valid UTF-8 (a reply's bytes, a file name) is written with U+FFFD in place of
// each bad byte, so every line is valid JSON. Thread-safe: objects from several threads never mix
// within a line. Like every other output, nothing more is written once standard output failed.
class JsonLines
{
public:
    using Object = nlohmann::ordered_json;
    static constexpr int schemaVersion = 1;

    // {"schema":1,"event":name}, to which the caller adds its fields.
    static Object event(const char* name);
    static void write(const Object& object);
};

} // namespace vantor::cli
