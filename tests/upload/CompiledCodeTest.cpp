#include "support/TempFile.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor::upload;
using vantor::test::TempFile;

TEST(CompiledCodeFormat, MapsPrefixesToCaseSensitiveCodes)
{
    struct Case
    {
        const char* line;
        std::optional<std::string> command;
    };
    const Case cases[] = {
        {"01:0000000C", "CZ0000000C"},
        {"02:0001", "CF0001"},
        {"03:0010FF", "Wm0010FF"},
        {"04:0020", "Wu0020"},
        {"05:", "CT"},
        {"06:00 31\t;x", "WF00 31\t;x"},
        {"03:a\nb", "Wma\nb"},
        {"06:\xE9\xFF", "WF\xE9\xFF"},
        {"07:0000", std::nullopt},
        {"", std::nullopt},
        {"; comment", std::nullopt},
        {"1:00", std::nullopt},
        {"01", std::nullopt},
        {" 01:00", std::nullopt},
        {"01;00", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(CompiledCodeFormat::commandFor(c.line), c.command);
    }
}

TEST(CompiledCodeFormat, ExplainsRejectedHeaders)
{
    struct Case
    {
        std::string line;
        const char* says;
    };
    const Case cases[] = {
        {"Vantor Compiled Code", nullptr},
        {"Vantor Compiled Code ", "trailing blanks"},
        {"vantor compiled code", "letter case differs"},
        {"\xEF\xBB\xBFVantor Compiled Code", "byte-order mark"},
        {"Vantor Compiled Code\n01:00\n", "LF alone"},
        {"Vantor Compiled Code v2", "more text after"},
        {"PK\x03\x04", "not a compiled program file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string problem = CompiledCodeFormat::headerProblem(c.line);
        EXPECT_EQ(CompiledCodeFormat::isHeader(c.line), c.says == nullptr);
        if (c.says)
            EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
        else
            EXPECT_EQ(problem, "");
    }
}

TEST(CompiledCodeReader, EndsLinesOnlyAtCarriageReturns)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"CR LF", "A\r\nB\r\n", {"A", "B"}},
        {"CR alone", "A\rB\r", {"A", "B"}},
        {"no end on the last line", "A\r\nB", {"A", "B"}},
        {"LF alone stays in the text", "A\nB\r\nC", {"A\nB", "C"}},
        {"LF-only file is one line", "A\nB\n", {"A\nB\n"}},
        {"empty lines", "A\r\n\r\n\rB", {"A", "", "", "B"}},
        {"LF CR", "A\n\rB", {"A\n", "B"}},
        {"NUL and 8-bit bytes", std::string("A\0\xFF\r\n", 5), {std::string("A\0\xFF", 3)}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile file(c.bytes);
        CompiledCodeReader reader;
        ASSERT_EQ(reader.open(file.path()), FileProblem::None);
        std::vector<std::string> lines;
        std::string line;
        while (reader.readLine(line))
            lines.push_back(line);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(reader.lineNumber(), static_cast<int>(c.lines.size()));
        EXPECT_EQ(reader.problem(), FileProblem::None);
    }
}

TEST(CompiledCodeReader, NamesWhatKeepsAFileFromOpening)
{
    struct Case
    {
        std::string path;
        FileProblem problem;
        const char* says;
    };
    const Case cases[] = {
        {"", FileProblem::NoneChosen, "No file chosen"},
        {"*.VQC", FileProblem::NoneChosen, "No file chosen"},
        {"/tmp/vantor-no-such-file.VQC", FileProblem::NotFound, "no such file"},
        {"/tmp", FileProblem::IsFolder, "it is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CompiledCodeReader reader;
        EXPECT_EQ(reader.open(c.path), c.problem);
        EXPECT_NE(CompiledCodeReader::describe(c.problem, c.path).find(c.says), std::string::npos);
        std::string line;
        EXPECT_FALSE(reader.readLine(line));
    }
}
