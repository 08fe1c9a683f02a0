#include "upload/LinkAdvice.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace vantor::upload {

using Remedy = UploadReporter::Remedy;

namespace {

// "a", "a or b", "a, b or c".
std::string alternatives(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
    return text;
}

} // namespace

std::string LinkAdvice::causes(const UploadReporter& words, int timeoutMs, int attempts, int maxAttempts,
                               bool silence)
{
    std::string text = "the usual causes, in the order to check them: the port (is it the one the PLC's "
                       "cable is on?), the baud rate and settings (data bits, parity and stop bits as the "
                       "PLC has them), the cable (seated at both ends; null-modem where the PLC needs one), "
                       "the PLC ID (as set in the PLC) and the PLC's mode (powered, and in a mode that "
                       "answers the host link)";
    std::vector<std::string> next;
    if (const std::string scan = words.remedy(Remedy::Scan, 0); !scan.empty())
        next.push_back(scan + " to find which port, baud rate and ID answer");
    if (silence && attempts < maxAttempts) {
        const int more = std::min(maxAttempts, std::max(3, attempts + 2));
        if (const std::string tries = words.remedy(Remedy::Attempts, more); !tries.empty())
            next.push_back(tries + " for a PLC still starting up");
    }
    const int longer = timeoutMs > INT_MAX / 2 ? INT_MAX : 2 * std::max(timeoutMs, 1);
    if (const std::string wait = words.remedy(Remedy::Timeout, longer); silence && !wait.empty())
        next.push_back(wait + " for one that answers late");
    if (!next.empty())
        text += "; then try " + alternatives(next);
    return text;
}

std::string LinkAdvice::lateAnswer(const UploadReporter& words, std::int64_t delayMs, int timeoutMs)
{
    const std::string text = "an answer came " + std::to_string(delayMs) +
                             " ms after the command, past the " + std::to_string(timeoutMs) +
                             " ms timeout: the PLC is there and answers late";
    const std::string wait = words.remedy(Remedy::Timeout, timeoutFor(delayMs));
    return text + (wait.empty() ? "; wait longer for each answer" : "; try " + wait);
}

std::string LinkAdvice::otherPlc(const UploadReporter& words)
{
    const std::string text =
        "the port, the settings and the cable work, since a PLC answered; set the PLC ID to "
        "the one the PLC has";
    const std::string scan = words.remedy(Remedy::Scan, 0);
    return text +
           (scan.empty() ? std::string() : ", or try " + scan + " to find which IDs answer on this line");
}

int LinkAdvice::timeoutFor(std::int64_t delayMs)
{
    // A quarter more than the delay seen, for a PLC whose answers vary a little.
    constexpr std::int64_t step = 250;
    const std::int64_t wanted = std::max<std::int64_t>(delayMs, 1) * 5 / 4;
    return static_cast<int>(std::min<std::int64_t>(INT_MAX, (wanted + step - 1) / step * step));
}

} // namespace vantor::upload
