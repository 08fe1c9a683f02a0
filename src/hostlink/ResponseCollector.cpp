#include "hostlink/ResponseCollector.h"

namespace vantor::hostlink {

std::optional<std::string> ResponseCollector::feed(const std::string& chunk)
{
    if (chunk.empty())
        return std::nullopt;
    // Only an LF at the very start of a response is a leftover line end; an LF arriving later on its
    // own is the bare-LF end of the line being collected.
    if (buffer_.empty() && chunk.front() == '\n')
        buffer_.append(chunk, 1, std::string::npos);
    else
        buffer_ += chunk;

    if (buffer_.empty())
        return std::nullopt;
    if (buffer_.size() > maxResponseBytes) {
        // Even if it ends now, such a line is no answer: drop it rather than hold it.
        buffer_.clear();
        overflowed_ = true;
        return std::nullopt;
    }
    const char last = buffer_.back();
    if (last != '\r' && last != '\n')
        return std::nullopt;

    std::size_t keep = buffer_.size() - 1;
    if (last == '\n' && keep > 0 && buffer_[keep - 1] == '\r')
        --keep;
    std::string response = buffer_.substr(0, keep);
    buffer_.clear();
    return response;
}

} // namespace vantor::hostlink
