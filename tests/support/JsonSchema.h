#pragma once

#include <nlohmann/json.hpp>

#include <regex>
#include <string>

namespace vantor::test {

// Checks value against a JSON Schema, for the keywords docs/vantor-json.schema.json uses: oneOf,
// const, enum, type, pattern, minimum, required, properties, additionalProperties and items, with
// their standard meaning (pattern only constrains strings, required only objects, and so on).
// Empty when value is valid, else where and why not.
inline std::string schemaProblem(const nlohmann::json& schema, const nlohmann::json& value,
                                 const std::string& where = "$")
{
    using nlohmann::json;
    if (schema.contains("oneOf")) {
        int matches = 0;
        for (const json& choice : schema["oneOf"])
            matches += schemaProblem(choice, value, where).empty() ? 1 : 0;
        if (matches != 1)
            return where + ": matches " + std::to_string(matches) + " of the schema's choices, not 1";
    }
    if (schema.contains("const") && value != schema["const"])
        return where + ": is not " + schema["const"].dump();
    if (schema.contains("enum") &&
        std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end())
        return where + ": " + value.dump() + " is none of " + schema["enum"].dump();
    if (schema.contains("type")) {
        const json types = schema["type"].is_array() ? schema["type"] : json::array({schema["type"]});
        bool typed = false;
        for (const json& t : types) {
            const std::string name = t;
            typed = typed || (name == "object" && value.is_object()) ||
                    (name == "array" && value.is_array()) || (name == "string" && value.is_string()) ||
                    (name == "null" && value.is_null()) || (name == "integer" && value.is_number_integer()) ||
                    (name == "number" && value.is_number()) || (name == "boolean" && value.is_boolean());
        }
        if (!typed)
            return where + ": " + value.dump() + " is not of type " + types.dump();
    }
    if (value.is_string() && schema.contains("pattern") &&
        !std::regex_search(value.get<std::string>(), std::regex(schema["pattern"].get<std::string>())))
        return where + ": " + value.dump() + " does not match " + schema["pattern"].dump();
    if (value.is_number() && schema.contains("minimum") &&
        value.get<double>() < schema["minimum"].get<double>())
        return where + ": " + value.dump() + " is below " + schema["minimum"].dump();
    if (value.is_object()) {
        for (const json& name : schema.value("required", json::array())) {
            if (!value.contains(name.get<std::string>()))
                return where + ": lacks " + name.dump();
        }
        const json properties = schema.value("properties", json::object());
        for (const auto& [key, item] : value.items()) {
            const std::string at = where + "." + key;
            if (properties.contains(key)) {
                if (auto problem = schemaProblem(properties[key], item, at); !problem.empty())
                    return problem;
            } else if (schema.contains("additionalProperties")) {
                const json& more = schema["additionalProperties"];
                if (more.is_boolean() && !more.get<bool>())
                    return at + ": is not a documented field";
                if (more.is_object())
                    if (auto problem = schemaProblem(more, item, at); !problem.empty())
                        return problem;
            }
        }
    }
    if (value.is_array() && schema.contains("items")) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (auto problem =
                    schemaProblem(schema["items"], value[i], where + "[" + std::to_string(i) + "]");
                !problem.empty())
                return problem;
        }
    }
    return {};
}

} // namespace vantor::test
