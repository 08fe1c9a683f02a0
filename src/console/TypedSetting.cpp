#include "console/TypedSetting.h"

#include "serial/SerialPort.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace vantor::console {

namespace {

std::string trimmed(const std::string& text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A whole number of plain digits (leading zeros allowed); -1 for anything else or one too big.
int wholeNumber(const std::string& text)
{
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    long long value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return -1;
    }
    return static_cast<int>(value);
}

std::string parityItem(const std::string& typed)
{
    const std::string word = lower(typed);
    for (const char* item : {"None", "Even", "Odd"})
        if (word == lower(item) || word == lower(std::string(1, item[0])))
            return item;
    return {};
}

std::string choiceItem(const std::string& typed, int first, int second)
{
    const int n = wholeNumber(typed);
    return n == first || n == second ? std::to_string(n) : std::string();
}

} // namespace

serial::Result<> TypedSetting::read(List list, const std::string& typed, std::string* item)
{
    const std::string text = trimmed(typed);
    switch (list) {
    case List::BaudRate: {
        const int rate = wholeNumber(text);
        *item = rate > 0 && serial::SerialPort::canSetBaudRate(rate) ? std::to_string(rate) : std::string();
        if (item->empty())
            return serial::failed(refusal("Baud Rate", typed, serial::SerialPort::settableBaudRates()));
        break;
    }
    case List::DataBits:
        if ((*item = choiceItem(text, 7, 8)).empty())
            return serial::failed(refusal("Data Bits", typed, "7 or 8"));
        break;
    case List::Parity:
        if ((*item = parityItem(text)).empty())
            return serial::failed(refusal("Parity", typed, "None, Even or Odd (or N, E, O)"));
        break;
    case List::StopBits:
        if ((*item = choiceItem(text, 1, 2)).empty())
            return serial::failed(refusal("Stop Bits", typed, "1 or 2"));
        break;
    }
    return {};
}

std::string TypedSetting::refusal(const std::string& label, const std::string& typed,
                                  const std::string& allowed)
{
    return label + " \"" + typed + "\" not used: it takes " + allowed + ".";
}

} // namespace vantor::console
