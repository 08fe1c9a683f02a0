#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantor::serial {

// The Telnet side of a serial server's port (RFC 854, with the COM port control option of RFC 2217):
// pure bytes in, bytes out, no I/O, so that every byte a server may send can be tested and fuzzed.
//
// We ask to send and receive binary (every byte as it is), to suppress go-ahead, and to control the
// COM port. A server's other requests are refused (WONT, DONT), each option answered once per change
// so that two ends cannot loop. Data has its IAC bytes doubled, and CR followed by NUL for as long as
// the server has not agreed to binary; incoming data has doubled IACs undone and a CR NUL made a CR.
//
// In the server's role (a simulated serial server) the same holds with the ends swapped: the client's
// offer of the COM port option is agreed to, and each of its COM port commands is taken and confirmed
// with the value asked for, as a server whose line took it; the names below that say "server" then
// mean the client.
class TelnetCodec
{
public:
    enum class Role { Client, Server };
    explicit TelnetCodec(Role role = Role::Client) : role_(role) {}

    static constexpr unsigned char iac = 255, dont = 254, doOption = 253, wont = 252, will = 251, sb = 250,
                                   se = 240;
    static constexpr unsigned char binary = 0, suppressGoAhead = 3, comPort = 44;
    // RFC 2217 client commands; the server answers each with the same code plus 100.
    static constexpr unsigned char setBaudRate = 1, setDataSize = 2, setParity = 3, setStopSize = 4,
                                   setControl = 5;
    // SET-CONTROL's values used here.
    static constexpr unsigned char controlNoFlow = 1, controlBreakOn = 5, controlBreakOff = 6,
                                   controlDtrOn = 8, controlDtrOff = 9, controlRtsOn = 11, controlRtsOff = 12;
    // A subnegotiation longer than this is no COM port answer (those are a few bytes): a server that
    // sends one is broken or hostile, and nothing after it is decoded.
    static constexpr std::size_t maxSubnegotiation = 1024;

    // What we send first: our offers and requests.
    std::string opening();
    // data made safe to send.
    std::string encode(const std::string& data) const;
    // Takes what arrived: returns the data in it; commands are acted on, and what they call for is
    // kept for takeReplies(). A command cut between two reads is finished by the next. Memory stays
    // bounded whatever arrives.
    std::string decode(const std::string& raw);
    // The answers owed to the server (option negotiation); empty when none.
    std::string takeReplies();

    // IAC SB COM-PORT-OPTION command value IAC SE, with any IAC in value doubled.
    static std::string comPortCommand(unsigned char command, const std::string& value);
    static std::string baudValue(std::uint32_t baud);

    // Why the server's bytes cannot be decoded any further, as words that follow "the server at
    // HOST:PORT "; empty while they can. The connection should be closed then.
    std::string protocolError() const
    {
        return overlong_ ? "sent a Telnet subnegotiation longer than " + std::to_string(maxSubnegotiation) +
                               " bytes, which no serial server does"
                         : std::string();
    }

    bool comPortAgreed() const { return comPortAgreed_; }
    bool comPortRefused() const { return comPortRefused_; }
    // The values the server reported back for each setting; nothing until it answered.
    std::optional<std::uint32_t> baudRate() const { return baud_; }
    std::optional<unsigned char> dataSize() const { return dataSize_; }
    std::optional<unsigned char> parity() const { return parity_; }     // 1 none, 2 odd, 3 even
    std::optional<unsigned char> stopSize() const { return stopSize_; } // 1 one, 2 two, 3 one and a half
    std::optional<unsigned char> control() const { return control_; }
    // Server role: the SET-CONTROL values the client sent since the last call, in order (each also
    // in control()); empty when none.
    std::string takeControls()
    {
        std::string out;
        out.swap(controls_);
        return out;
    }

private:
    void option(unsigned char verb, unsigned char code);
    // The byte after an IAC (outside a subnegotiation's value).
    void afterIac(unsigned char c, std::string& data);
    void subnegotiation(const std::string& body);
    // Server role: takes a client's COM port command and confirms it.
    void comPortRequest(unsigned char code, const std::string& value);
    bool weOffer(unsigned char code) const;
    bool weAccept(unsigned char code) const;
    void addToSubnegotiation(char c);
    // One byte that arrived, in the data or its commands (dataByte), or inside a subnegotiation
    // (subnegotiationByte, in State::Sub or State::SubIac); data takes the data bytes.
    void dataByte(char ch, std::string& data);
    void subnegotiationByte(char ch, std::string& data);

    enum class State { Data, Iac, Verb, Sub, SubIac, AfterCr };
    Role role_;
    State state_ = State::Data;
    std::string controls_;
    unsigned char verb_ = 0;
    std::string sub_;
    std::string replies_;
    bool weWill_[256] = {};          // what we said WILL to (and not yet WONT)
    bool weDo_[256] = {};            // what we said DO to
    bool serverDoesBinary_ = false;  // the server sends binary
    bool serverTakesBinary_ = false; // the server agreed (DO BINARY) to our binary
    bool comPortAgreed_ = false;
    bool comPortRefused_ = false;
    bool overlong_ = false;
    std::optional<std::uint32_t> baud_;
    std::optional<unsigned char> dataSize_, parity_, stopSize_, control_;
};

} // namespace vantor::serial
