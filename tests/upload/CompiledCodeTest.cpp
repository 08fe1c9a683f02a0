#include "support/TempFile.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
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
        FileProblem problem = FileProblem::None;
    };
    const std::string longest(CompiledCodeReader::maxLineBytes, 'A');
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
        {"CR LF across a buffer's end", std::string(65535, 'A') + "\r\nB", {std::string(65535, 'A'), "B"}},
        {"longest line", longest + "\rB", {longest, "B"}},
        {"longer line refused", "H\r" + longest + "A\rB", {"H"}, FileProblem::LineTooLong},
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
        EXPECT_EQ(reader.problem(), c.problem);
        // A refused line keeps its number, for the message.
        EXPECT_EQ(reader.lineNumber(),
                  static_cast<std::int64_t>(c.lines.size()) + (c.problem == FileProblem::None ? 0 : 1));
        if (c.problem == FileProblem::None) {
            EXPECT_EQ(reader.bytesRead(), c.bytes.size());
        }
    }
}

TEST(CompiledCodeReader, ASecondPassFingerprintsTheSameBytesAlike)
{
    TempFile file("Vantor Compiled Code\r\n01:00\r\n");
    TempFile other("Vantor Compiled Code\r\n01:01\r\n");
    const auto pass = [](CompiledCodeReader& reader) {
        std::string line;
        while (reader.readLine(line)) {
        }
        return std::make_pair(reader.bytesRead(), reader.fingerprint());
    };
    CompiledCodeReader reader, changed;
    ASSERT_EQ(reader.open(file.path()), FileProblem::None);
    ASSERT_EQ(changed.open(other.path()), FileProblem::None);
    const auto first = pass(reader);
    ASSERT_TRUE(reader.rewind());
    EXPECT_EQ(pass(reader), first);
    EXPECT_NE(pass(changed), first);
}

TEST(CompiledCodeReader, TakesTheSha256OfEveryByteOfTheFirstPass)
{
    // Published digests, and sha256sum's for input that spans several of the reader's blocks.
    const auto repeated = [](const std::string& piece, int times) {
        std::string all;
        for (int i = 0; i < times; ++i)
            all += piece;
        return all;
    };
    const std::pair<std::string, const char*> rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {repeated("01:0000000C\r\n", 20000),
         "9e9fc1dc93d8eaba60c1cb44b011de5c03c38ec704d31f478b909407e4dfb124"},
    };
    for (const auto& [bytes, digest] : rows) {
        SCOPED_TRACE(bytes.size());
        TempFile file(bytes);
        CompiledCodeReader reader;
        reader.keepBytes(true);
        ASSERT_EQ(reader.open(file.path()), FileProblem::None);
        std::string line;
        while (reader.readLine(line)) {
        }
        EXPECT_EQ(reader.sha256(), digest);
        EXPECT_TRUE(reader.rewind());
        EXPECT_EQ(reader.sha256(), digest) << "the second pass keeps the first pass's digest";
        EXPECT_TRUE(reader.takeBytes().empty()) << "a regular file is read again, not kept";
        CompiledCodeReader stream;
        stream.keepBytes(true);
        stream.openBytes(bytes);
        while (stream.readLine(line)) {
        }
        EXPECT_TRUE(stream.takeBytes() == bytes) << "input that cannot be read twice is kept whole";
    }
}

TEST(CompiledCodeReader, NamesWhatKeepsAFileFromOpening)
{
    struct Case
    {
        std::string path;
        FileProblem problem;
        std::string says;
    };
    namespace fs = std::filesystem;
    const std::string tmp = fs::temp_directory_path().string();
    const fs::path loop =
        fs::temp_directory_path() / ("vantor-test-loop-" + std::to_string(std::random_device{}()));
    std::error_code ignored;
    fs::create_symlink(loop, loop, ignored); // a link to itself: not on every system
    std::vector<Case> cases = {
        {"", FileProblem::NoneChosen, "No file chosen"},
        {"*.VQC", FileProblem::NoneChosen, "No file chosen"},
        {tmp + "/vantor-no-such-file.VQC", FileProblem::NotFound, "no such file"},
        {tmp, FileProblem::IsFolder, "it is a folder"},
    };
#ifndef _WIN32
    if (fs::is_symlink(loop))
        cases.push_back({loop.string(), FileProblem::NotReadable,
                         "Cannot open " + loop.string() + ": Too many levels of symbolic links"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CompiledCodeReader reader;
        EXPECT_EQ(reader.open(c.path), c.problem);
        EXPECT_NE(reader.describeProblem(c.path).find(c.says), std::string::npos)
            << reader.describeProblem(c.path);
        std::string line;
        EXPECT_FALSE(reader.readLine(line));
    }
    fs::remove(loop, ignored);
}

TEST(CompiledCodeReader, OpensFileNamesBeyondAscii)
{
    // UTF-8 names, as the command line and the panel pass them; Windows needs its wide-character calls.
    const auto path =
        std::filesystem::temp_directory_path() / std::filesystem::u8path("vantor-\xC3\xBC"
                                                                         "bung-\xE6\xB8\xAC\xE8\xA9\xA6.VQC");
    std::ofstream(path, std::ios::binary) << "Vantor Compiled Code\r\n05:\r\n";
    CompiledCodeReader reader;
    ASSERT_EQ(reader.open(path.u8string()), FileProblem::None);
    std::string line;
    EXPECT_TRUE(reader.readLine(line));
    EXPECT_EQ(line, "Vantor Compiled Code");
    reader.close();
    std::filesystem::remove(path);
}
