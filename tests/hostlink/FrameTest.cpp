#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"

#include <gtest/gtest.h>

using vantor::hostlink::Frame;
using vantor::hostlink::PlcId;

TEST(Frame, BuildsTheWorkedExamples)
{
    struct Case
    {
        std::int16_t id;
        const char* command;
        const char* frame;
    };
    const Case cases[] = {
        {1, "C2", "@01C230*"},      {1, "CS", "@01CS51*"},    {1, "IR", "@01IR5A*"},
        {1, "C1", "@01C133*"},      {0x0A, "CL", "@0ACL3E*"}, {1, "", "@0141*"},
        {1, "N", "@01N0F*"}, // an FCS below 16 keeps its leading zero
        {1, "A", "@01A00*"},        {255, "C2", "@FFC231*"},  {-2, "C2", "@FFFEC232*"},
        {0x123, "C2", "@123C201*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::string cmd = c.command;
        const std::string returned = Frame::appendFCS(c.id, cmd);
        EXPECT_EQ(returned, c.frame);
        EXPECT_EQ(cmd, c.frame) << "appendFCS leaves the frame in its argument too";
    }
}

TEST(Frame, RendersHexAsTheFrameNeedsIt)
{
    EXPECT_EQ(Frame::renderHex(0), "00");
    EXPECT_EQ(Frame::renderHex(0xA), "0A");
    EXPECT_EQ(Frame::renderHex(0xFF), "FF");
    EXPECT_EQ(Frame::renderHex(0x100), "100");
    EXPECT_EQ(Frame::renderHex(-1), "FFFF");
    EXPECT_EQ(Frame::renderHex(-32768), "8000");
    EXPECT_EQ(Frame::computeFCS(std::string("\xFF\x01", 2)), 0xFE) << "characters count as unsigned";
}

TEST(PlcId, ConvertsTheBoxText)
{
    struct Case
    {
        const char* text;
        std::int16_t id;
        const char* framePrefix;
    };
    const Case cases[] = {
        {"01", 1, "@01"},          {"1", 1, "@01"},       {" 1", 1, "@01"},
        {"1 2", 0x12, "@12"},      {"ff", 255, "@FF"},    {"FF", 255, "@FF"},
        {"\t0\nA ", 0x0A, "@0A"},  {"fffe", -2, "@FFFE"}, {"7fff", 32767, "@7FFF"},
        {"8000", -32768, "@8000"}, {"0001", 1, "@01"},    {"1 2 3 4", 0x1234, "@1234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        const auto result = PlcId::fromText(c.text);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.id, c.id);
        EXPECT_EQ(Frame::build(result.id, "C2").substr(0, std::string(c.framePrefix).size()), c.framePrefix);
    }
}

TEST(PlcId, RefusesAnythingButOneToFourHexDigits)
{
    struct Case
    {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"12345", "The PLC ID \"12345\" has more than four hexadecimal digits"},
        {"00001", "more than four hexadecimal digits"},
        {"1 2 3 4 5", "The PLC ID \"1 2 3 4 5\" has more than four"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "more than four hexadecimal digits"},
        {"", "No PLC ID given"},
        {"  ", "No PLC ID given"},
        {"G7",
         "The PLC ID \"G7\" is not hexadecimal: enter the PLC's ID as 1 to 4 of the digits 0-9 and A-F"},
        {"O1", "The PLC ID \"O1\" is not hexadecimal"},
        {"01XYZ", "The PLC ID \"01XYZ\" is not hexadecimal"},
        {"1G", "is not hexadecimal"},
        {"1234x5", "is not hexadecimal"},
        {"0x01", "is not hexadecimal"},
        {"\x1b[2J", "The PLC ID \"<x1B>[2J\" is not hexadecimal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = PlcId::fromText(c.text);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
    EXPECT_FALSE(PlcId::fromDigits("1 2").ok) << "the command line removes no blanks inside";
}
