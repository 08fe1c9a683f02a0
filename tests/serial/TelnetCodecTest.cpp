// The Telnet side of RFC 2217 ports, byte by byte: what a real server in binary mode never sends
// (doubled IACs in data, CR NUL, commands cut between reads, options we do not take) is here.
#include "serial/TelnetCodec.h"

#include <gtest/gtest.h>

using vantor::serial::TelnetCodec;

namespace {
std::string bytes(std::initializer_list<int> list)
{
    std::string out;
    for (const int b : list)
        out += static_cast<char>(b);
    return out;
}
constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
} // namespace

TEST(TelnetCodec, DecodesDataCommandsAndAnswersAcrossReads)
{
    const struct
    {
        const char* name;
        std::vector<std::string> reads;
        std::string data;
        std::string replies; // after the opening's requests
    } rows[] = {
        {"plain data", {"@01C20030*\r"}, "@01C20030*\r", ""},
        {"a doubled IAC is one 0xFF",
         {bytes({'A', IAC, IAC, 'B'})},
         "A\xFF"
         "B",
         ""},
        {"doubled IAC split between reads",
         {bytes({'A', IAC}), bytes({IAC, 'B'})},
         "A\xFF"
         "B",
         ""},
        {"CR NUL is a CR before binary", {bytes({'x', '\r', 0, 'y'})}, "x\ry", ""},
        {"CR NUL split", {bytes({'x', '\r'}), bytes({0, 'y'})}, "x\ry", ""},
        {"an option we do not take is refused once",
         {bytes({IAC, WILL, 1, IAC, WILL, 1})},
         "",
         bytes({IAC, DONT, 1, IAC, DONT, 1})},
        {"a request for an option we do not offer", {bytes({IAC, DO, 24})}, "", bytes({IAC, WONT, 24})},
        {"agreement to what we asked is not answered",
         {bytes({IAC, DO, 44, IAC, WILL, 0, IAC, DO, 0})},
         "",
         ""},
        {"a command in the middle of data",
         {bytes({'a', IAC, 241, 'b', IAC, DO}), bytes({3, 'c'})},
         "abc",
         ""},
        {"a baud rate answer split across three reads",
         {bytes({IAC, SB, 44}), bytes({101, 0, 0, 0x25}), bytes({0x80, IAC, SE, 'z'})},
         "z",
         ""},
        {"an IAC in a subnegotiation value", {bytes({IAC, SB, 44, 101, 0, 0, IAC, IAC, 0, IAC, SE})}, "", ""},
        {"a subnegotiation cut short by a command",
         {bytes({IAC, SB, 44, 101, 1, IAC, DO, 24, 'q'})},
         "q",
         bytes({IAC, WONT, 24})},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TelnetCodec codec;
        codec.opening();
        std::string data;
        for (const auto& read : r.reads)
            data += codec.decode(read);
        EXPECT_EQ(data, r.data);
        EXPECT_EQ(codec.takeReplies(), r.replies);
    }
    TelnetCodec codec;
    codec.opening();
    codec.decode(
        bytes({IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE, IAC, SB, 44, 101, 0, 0, IAC, IAC, 0, IAC, SE}));
    EXPECT_EQ(codec.baudRate(), 0xFF00u) << "the last answer counts, its IAC undoubled";
}

TEST(TelnetCodec, EncodesIacAndCrUntilBinaryIsAgreed)
{
    TelnetCodec codec;
    codec.opening();
    EXPECT_EQ(codec.encode(bytes({'@', IAC, '\r'})), bytes({'@', IAC, IAC, '\r', 0}));
    codec.decode(bytes({IAC, DO, 0}));
    EXPECT_EQ(codec.encode(bytes({'@', IAC, '\r'})), bytes({'@', IAC, IAC, '\r'}));
    EXPECT_EQ(TelnetCodec::comPortCommand(1, TelnetCodec::baudValue(0xFF2580)),
              bytes({IAC, SB, 44, 1, 0, IAC, IAC, 0x25, 0x80, IAC, SE}));
}
