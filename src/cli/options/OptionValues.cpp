#include "cli/options/OptionValues.h"

#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vantor::cli {

namespace {
std::string trimmed(const std::string& text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}
} // namespace

std::optional<int> OptionValues::wholeNumber(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end != '\0' || errno != 0 ||
        n < 0 || n > INT_MAX)
        return std::nullopt;
    return static_cast<int>(n);
}

std::string OptionValues::lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

serial::Result<> OptionValues::strictId(const std::string& text, std::int16_t* id)
{
    const auto parsed = hostlink::PlcId::fromDigits(trimmed(text));
    if (!parsed.ok)
        return serial::failed(
            "--id must be the PLC's ID in hexadecimal, 1 to 4 digits such as 01 or 1F (got '" + text + "')");
    *id = parsed.id;
    return {};
}

serial::Result<> OptionValues::strictIdList(const std::string& text, std::vector<std::int16_t>* ids)
{
    ids->clear();
    std::bitset<0x10000> named; // every ID so far, so that none is addressed twice
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            trimmed(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (item.empty() && text.find(',') != std::string::npos)
            return serial::failed("--id has an empty item (two commas, or a comma at either end) in '" +
                                  text + "'");
        const std::size_t dash = item.find('-');
        std::int16_t low = 0;
        std::int16_t high = 0;
        if (!strictId(item.substr(0, dash), &low).ok() ||
            !strictId(dash == std::string::npos ? item : item.substr(dash + 1), &high).ok())
            return serial::failed(
                "--id must be PLC IDs in hexadecimal, 1 to 4 digits such as 01 or 1F, or a list "
                "with ranges such as 01,02,05-0A (got '" +
                text + "')");
        const unsigned from = static_cast<std::uint16_t>(low);
        const unsigned to = static_cast<std::uint16_t>(high);
        if (from > to)
            return serial::failed("--id has a range from high to low, " + item + ": write it low to high");
        for (unsigned id = from; id <= to; ++id) {
            if (named[id])
                return serial::failed("--id names PLC " +
                                      hostlink::Frame::renderHex(static_cast<std::int16_t>(id)) +
                                      " twice in '" + text + "'");
            named[id] = true;
            ids->push_back(static_cast<std::int16_t>(id));
        }
        if (comma == std::string::npos)
            return {};
        start = comma + 1;
    }
}

serial::Result<> OptionValues::strictTimeout(const std::string& text)
{
    if (hostlink::TimeoutText::parseMs(text))
        return {};
    return serial::failed(
        "--timeout must be a number of milliseconds such as 500; 0 means the defaults (got '" + text + "')");
}

} // namespace vantor::cli
