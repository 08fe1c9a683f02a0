#include "record/RecordStamp.h"

#include "hostlink/ControlText.h"

#include <algorithm>

namespace vantor::record {

namespace {

// The text for a message: its control characters escaped, so that a tag cannot write over the
// terminal it is reported on.
std::string shown(const std::string& text)
{
    return hostlink::ControlText::escapeControls(text);
}

} // namespace

bool RecordStamp::validKey(const std::string& key)
{
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

serial::Result<> RecordStamp::addTag(const std::string& keyEqualsValue)
{
    const std::size_t equals = keyEqualsValue.find('=');
    if (equals == std::string::npos)
        return serial::failed("'" + shown(keyEqualsValue) +
                              "' is no tag: give KEY=VALUE, such as order=WO-1234");
    const std::string key = keyEqualsValue.substr(0, equals);
    if (!validKey(key))
        return serial::failed("'" + shown(keyEqualsValue) + "': the key '" + shown(key) +
                              "' must be one or more letters, digits, '_' or '-'");
    tags[key] = keyEqualsValue.substr(equals + 1);
    return {};
}

} // namespace vantor::record
