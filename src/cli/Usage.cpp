#include "cli/Usage.h"

#include "cli/ExitStatus.h"
#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
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

void Usage::addStandardOptions(CommandLine& parser)
{
    parser.addOptions(CommandSpec::standardOptions());
}

std::optional<int> Usage::parse(CommandLine& parser, const std::vector<std::string>& arguments)
{
    const bool parsed = parser.parse(arguments);
    // Help and version win over everything else on the line (up to "--"), a wrong option included.
    const auto options =
        std::vector<std::string>(arguments.begin(), std::find(arguments.begin(), arguments.end(), "--"));
    const auto given = [&options](const char* option) {
        return std::find(options.begin() + (options.empty() ? 0 : 1), options.end(), option) != options.end();
    };
    if (given("--version") || given("-V") || given("-version")) {
        std::printf("vantor %s\n", VANTOR_VERSION);
        return Success;
    }
    bool wantsHelp = false;
    for (const char* ask : {"--help", "-h", "--help-all", "-help", "-help-all"})
        wantsHelp = wantsHelp || given(ask);
    if (wantsHelp) {
        std::printf("%s", parser.helpText().c_str());
        return Success;
    }
    if (!parsed)
        return fail(parser.errorText());
    return std::nullopt;
}

std::vector<std::string> Usage::arguments(int argc, char* argv[])
{
    return std::vector<std::string>(argv, argv + argc);
}

int Usage::fail(const std::string& message)
{
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' or 'vantor help COMMAND'.\n",
                 hostlink::ControlText::escapeControls(message).c_str());
    return UsageError;
}

std::optional<int> Usage::wholeNumber(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end != '\0' || errno != 0 ||
        n < 0 || n > INT_MAX)
        return std::nullopt;
    return static_cast<int>(n);
}

std::string Usage::lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void Usage::note(const std::string& message)
{
    if (!std::ferror(stdout))
        std::fflush(stdout);
    line(stderr, "vantor: " + message);
}

void Usage::line(std::FILE* stream, const std::string& text)
{
    if (std::ferror(stream))
        return;
    std::fprintf(stream, "%s\n", hostlink::ControlText::escapeControls(text).c_str());
    std::fflush(stream);
}

int Usage::finish(int status)
{
    const bool outFailed = std::fflush(stdout) != 0 || std::ferror(stdout);
    const bool errFailed = std::fflush(stderr) != 0 || std::ferror(stderr);
    if (outFailed && !errFailed)
        note("standard output could not be written (closed early, or the disk is full); the command ran to "
             "its end regardless");
    if ((outFailed || errFailed) && status == Success)
        return OutputFailed;
    return status;
}

bool Usage::strictId(const std::string& text, std::int16_t* id, std::string* error)
{
    const auto parsed = hostlink::PlcId::fromDigits(trimmed(text));
    if (!parsed.ok) {
        *error =
            "--id must be the PLC's ID in hexadecimal, 1 to 4 digits such as 01 or 1F (got '" + text + "')";
        return false;
    }
    *id = parsed.id;
    return true;
}

bool Usage::strictIdList(const std::string& text, std::vector<std::int16_t>* ids, std::string* error)
{
    ids->clear();
    std::bitset<0x10000> named; // every ID so far, so that none is addressed twice
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            trimmed(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (item.empty() && text.find(',') != std::string::npos) {
            *error = "--id has an empty item (two commas, or a comma at either end) in '" + text + "'";
            return false;
        }
        const std::size_t dash = item.find('-');
        std::int16_t low = 0;
        std::int16_t high = 0;
        if (!strictId(item.substr(0, dash), &low, error) ||
            !strictId(dash == std::string::npos ? item : item.substr(dash + 1), &high, error)) {
            *error = "--id must be PLC IDs in hexadecimal, 1 to 4 digits such as 01 or 1F, or a list with "
                     "ranges such as 01,02,05-0A (got '" +
                     text + "')";
            return false;
        }
        const unsigned from = static_cast<std::uint16_t>(low);
        const unsigned to = static_cast<std::uint16_t>(high);
        if (from > to) {
            *error = "--id has a range from high to low, " + item + ": write it low to high";
            return false;
        }
        for (unsigned id = from; id <= to; ++id) {
            if (named[id]) {
                *error = "--id names PLC " + hostlink::Frame::renderHex(static_cast<std::int16_t>(id)) +
                         " twice in '" + text + "'";
                return false;
            }
            named[id] = true;
            ids->push_back(static_cast<std::int16_t>(id));
        }
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

bool Usage::strictTimeout(const std::string& text, std::string* error)
{
    if (hostlink::TimeoutText::parseMs(text))
        return true;
    *error =
        "--timeout must be a number of milliseconds such as 500; 0 means the defaults (got '" + text + "')";
    return false;
}

} // namespace vantor::cli
