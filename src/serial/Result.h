#pragma once

#include <string>
#include <utility>

namespace vantor::serial {

// What most attempts come to when they need no more than yes or no.
enum class Problem {
    None,
    Failed,
};

// What an attempt came to, the one way the core says a failure: a code the caller can act on and the
// sentence for the user, which comes with it instead of being asked for afterwards. Code is an enum
// whose first value (zero) means it worked; the message is empty then. Each function's contract says
// whether the message is a full sentence or words that follow the caller's lead-in ("cannot write
// PATH: ...").
template <typename Code = Problem> struct Result
{
    Code error = Code{};
    std::string message;

    bool ok() const { return error == Code{}; }
};

// A failure that carries no other code than Problem::Failed.
inline Result<> failed(std::string words)
{
    return {Problem::Failed, std::move(words)};
}

} // namespace vantor::serial
