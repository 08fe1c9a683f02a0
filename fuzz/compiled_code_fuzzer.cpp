// The compiled-code reader and record mapping over arbitrary bytes, fed from memory through the path
// that pipes take: the lines it gives are those of a plain split on CR (an LF right after a CR
// belonging to the line end), a second pass gives the same fingerprint and passes its block checks,
// and the header check agrees with its explanation.
#include "FuzzInput.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

#include <string>

using namespace vantor;
using upload::CompiledCodeFormat;
using upload::CompiledCodeReader;
using upload::FileProblem;

namespace {

std::vector<std::string> plainSplit(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            line += bytes[i];
            continue;
        }
        lines.push_back(line);
        line.clear();
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes = fuzz::text(data, size);
    CompiledCodeReader reader;
    reader.openBytes(bytes);
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line))
        lines.push_back(line);
    const auto expected = plainSplit(bytes);
    bool tooLong = false;
    for (const auto& l : expected)
        tooLong = tooLong || l.size() > CompiledCodeReader::maxLineBytes;
    if (tooLong) {
        FUZZ_CHECK(reader.problem() == FileProblem::LineTooLong);
        return 0;
    }
    FUZZ_CHECK(reader.problem() == FileProblem::None);
    FUZZ_CHECK(lines == expected);
    FUZZ_CHECK(reader.bytesRead() == bytes.size());

    std::size_t records = 0;
    for (const auto& l : lines) {
        const auto command = CompiledCodeFormat::commandFor(l);
        if (command) {
            ++records;
            FUZZ_CHECK(command->size() == l.size() - 1);
        }
    }
    if (!lines.empty())
        FUZZ_CHECK(CompiledCodeFormat::isHeader(lines[0]) ==
                   CompiledCodeFormat::headerProblem(lines[0]).empty());

    const auto fingerprint = reader.fingerprint();
    FUZZ_CHECK(reader.rewind());
    std::size_t again = 0;
    while (reader.readLine(line))
        again += CompiledCodeFormat::codeFor(line) ? 1 : 0;
    FUZZ_CHECK(reader.problem() == FileProblem::None);
    FUZZ_CHECK(again == records);
    FUZZ_CHECK(reader.fingerprint() == fingerprint);
    FUZZ_CHECK(reader.checkedFingerprint() == fingerprint);
    return 0;
}
