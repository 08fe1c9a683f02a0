#pragma once

#include "plcsim/PlcFaults.h"

#include <string>
#include <vector>

namespace vantor::plcsim {

// Every fault the simulated PLC can be told to show, one row each, in the order they are offered:
// the front ends build their options, help texts and completions from these rows, so a new fault is
// a new row (and its effect in PlcFaults and SimulatedPlc), never a new hand-written option.
class PlcFaultTable
{
public:
    // What an option's value is, and so how a front end reads and checks it before the effect.
    enum class Value {
        None,          // a flag: set or not
        Count,         // a whole number, 0 or more
        Answer,        // the number of an answer to a frame, counted from 1
        AnswerAndCode, // "N" or "N:CODE": an answer's number and two hexadecimal digits
        Choice,        // one of the words valueName lists, separated by "|", in any case
        MsAndText,     // "MS:TEXT": milliseconds, 1 or more, and up to PlcFaults::maxUnaskedText
                       // printable characters
    };

    struct Row
    {
        const char* name;         // a few words for the fault, as a test or a list names it
        const char* option;       // the long option, without its dashes
        const char* valueName;    // as the help shows it; "" for a flag
        const char* defaultValue; // as the help says it; "" when none is said
        const char* help;
        Value value;
        // Puts the fault into faults: number is the count, the answer's number or the index of the
        // choice (1 for a flag) or the milliseconds of MsAndText; code is the two upper-case digits of
        // AnswerAndCode or the text of MsAndText, null otherwise.
        void (*apply)(PlcFaults& faults, int number, const char* code);
    };

    // The rows, in the order the help lists them.
    static const std::vector<Row>& rows();
    // The words of a Choice row's valueName, in order.
    static std::vector<std::string> choices(const Row& row);
};

} // namespace vantor::plcsim
