#pragma once

#include "serial/Result.h"

#include <string>

namespace vantor::console {

// What a technician types into one of the console's settings lists, read as an item of that list, so
// that a typed value is either used (its item selected) or refused at once, never shown and ignored.
class TypedSetting
{
public:
    enum class List {
        BaudRate, // a rate serial::SerialPort::canSetBaudRate() takes: "14400" where the system allows
        DataBits, // "7" or "8"
        Parity,   // "None", "Even" or "Odd", or the letter alone, any case: "e", "EVEN"
        StopBits, // "1" or "2"
    };

    // The item typed stands for, spelt as the list spells its items ("9600", "Even"); blanks around it
    // do not count. A failure's message is the log's one line: refusal() for this list.
    static serial::Result<> read(List list, const std::string& typed, std::string* item);

    // The log's line for a refused value: "Baud Rate "abc" not used: it takes 50, 75 ... or 921600.",
    // naming the list by its label, the value as typed, and what the list takes (allowed, words that
    // follow "it takes").
    static std::string refusal(const std::string& label, const std::string& typed,
                               const std::string& allowed);
};

} // namespace vantor::console
