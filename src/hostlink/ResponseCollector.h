#pragma once

#include <optional>
#include <string>

namespace vantor::hostlink {

// Collects one response from the chunks that successive port reads bring, without touching a port.
//
// A response ends when a chunk leaves CR or LF as the last collected character; only that last
// character is examined, so a CR in the middle of the collected text belongs to the response. The
// line end (CR, CR LF or a bare LF) is removed and nothing else. An LF that starts a response is the
// tail of the previous response's CR LF and is dropped.
//
// At most maxResponseBytes are held: a line that grows beyond them without ending is garbage (a
// flooding device, a wrong baud rate); it is discarded and overflowed() says so until reset().
class ResponseCollector
{
public:
    static constexpr std::size_t maxResponseBytes = 64 * 1024;

    // Adds one read's characters. Returns the response once the collected text ends a line, and
    // starts afresh for the next one. The response may be empty (a line of just CR or LF).
    std::optional<std::string> feed(const std::string& chunk);

    // Discards whatever was collected (after a timeout).
    void reset()
    {
        buffer_.clear();
        overflowed_ = false;
    }
    // Whether the unfinished line outgrew maxResponseBytes since the last reset.
    bool overflowed() const { return overflowed_; }

    // What has been collected of an unfinished response.
    const std::string& pending() const { return buffer_; }

private:
    std::string buffer_;
    bool overflowed_ = false;
};

} // namespace vantor::hostlink
