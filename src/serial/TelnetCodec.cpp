#include "serial/TelnetCodec.h"

namespace vantor::serial {

namespace {

constexpr char cr = '\r';

std::string command(unsigned char verb, unsigned char code)
{
    return {static_cast<char>(TelnetCodec::iac), static_cast<char>(verb), static_cast<char>(code)};
}

} // namespace

// The client offers the COM port option and the server accepts it; binary and go-ahead both ways.
bool TelnetCodec::weOffer(unsigned char code) const
{
    return code == binary || code == suppressGoAhead || (code == comPort && role_ == Role::Client);
}

bool TelnetCodec::weAccept(unsigned char code) const
{
    return code == binary || code == suppressGoAhead || (code == comPort && role_ == Role::Server);
}

std::string TelnetCodec::opening()
{
    std::string out;
    for (const unsigned char code : {binary, suppressGoAhead, comPort}) {
        weWill_[code] = true;
        out += command(will, code);
    }
    for (const unsigned char code : {binary, suppressGoAhead}) {
        weDo_[code] = true;
        out += command(doOption, code);
    }
    return out;
}

std::string TelnetCodec::encode(const std::string& data) const
{
    std::string out;
    out.reserve(data.size() + 4);
    for (const char c : data) {
        out += c;
        if (static_cast<unsigned char>(c) == iac)
            out += static_cast<char>(iac);
        else if (c == cr && !serverTakesBinary_)
            out += '\0';
    }
    return out;
}

std::string TelnetCodec::comPortCommand(unsigned char code, const std::string& value)
{
    std::string out = {static_cast<char>(iac), static_cast<char>(sb), static_cast<char>(comPort),
                       static_cast<char>(code)};
    for (const char c : value) {
        out += c;
        if (static_cast<unsigned char>(c) == iac)
            out += static_cast<char>(iac);
    }
    out += static_cast<char>(iac);
    out += static_cast<char>(se);
    return out;
}

std::string TelnetCodec::baudValue(std::uint32_t baud)
{
    return {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16), static_cast<char>(baud >> 8),
            static_cast<char>(baud)};
}

std::string TelnetCodec::takeReplies()
{
    std::string out;
    out.swap(replies_);
    return out;
}

void TelnetCodec::option(unsigned char verb, unsigned char code)
{
    switch (verb) {
    case doOption: // the server asks us to use an option
        if (code == binary)
            serverTakesBinary_ = true;
        if (code == comPort)
            comPortAgreed_ = true;
        if (weOffer(code) && !weWill_[code]) {
            weWill_[code] = true;
            replies_ += command(will, code);
        } else if (!weOffer(code)) {
            replies_ += command(wont, code);
        }
        break;
    case dont:
        if (code == binary)
            serverTakesBinary_ = false;
        if (code == comPort)
            comPortRefused_ = true;
        if (weWill_[code]) {
            weWill_[code] = false;
            replies_ += command(wont, code);
        }
        break;
    case will: // the server offers to use an option
        if (code == binary)
            serverDoesBinary_ = true;
        if (code == comPort && role_ == Role::Server)
            comPortAgreed_ = true;
        if (weAccept(code) && !weDo_[code]) {
            weDo_[code] = true;
            replies_ += command(doOption, code);
        } else if (!weAccept(code)) {
            replies_ += command(dont, code);
        }
        break;
    case wont:
        if (code == binary)
            serverDoesBinary_ = false;
        if (weDo_[code]) {
            weDo_[code] = false;
            replies_ += command(dont, code);
        }
        break;
    default:
        break;
    }
}

void TelnetCodec::subnegotiation(const std::string& body)
{
    // COM-PORT-OPTION, a server answer (code + 100), its value.
    if (body.size() < 3 || static_cast<unsigned char>(body[0]) != comPort)
        return;
    const unsigned char code = static_cast<unsigned char>(body[1]);
    const std::string value = body.substr(2);
    if (role_ == Role::Server) {
        comPortRequest(code, value);
        return;
    }
    switch (code) {
    case setBaudRate + 100:
        if (value.size() == 4) {
            std::uint32_t baud = 0;
            for (const char c : value)
                baud = baud << 8 | static_cast<unsigned char>(c);
            baud_ = baud;
        }
        break;
    case setDataSize + 100:
        dataSize_ = static_cast<unsigned char>(value[0]);
        break;
    case setParity + 100:
        parity_ = static_cast<unsigned char>(value[0]);
        break;
    case setStopSize + 100:
        stopSize_ = static_cast<unsigned char>(value[0]);
        break;
    case setControl + 100:
        control_ = static_cast<unsigned char>(value[0]);
        break;
    default: // line and modem state notifications, flow control: nothing we use
        break;
    }
}

void TelnetCodec::comPortRequest(unsigned char code, const std::string& value)
{
    if (code < setBaudRate || code > setControl)
        return; // flow control suspension, purges, state masks: nothing a simulated line needs
    const unsigned char first = static_cast<unsigned char>(value[0]);
    if (code == setBaudRate && value.size() == 4) {
        std::uint32_t baud = 0;
        for (const char ch : value)
            baud = baud << 8 | static_cast<unsigned char>(ch);
        baud_ = baud;
    } else if (code == setDataSize) {
        dataSize_ = first;
    } else if (code == setParity) {
        parity_ = first;
    } else if (code == setStopSize) {
        stopSize_ = first;
    } else if (code == setControl) {
        control_ = first;
        controls_ += value[0];
    }
    replies_ += comPortCommand(static_cast<unsigned char>(code + 100), value);
}

void TelnetCodec::afterIac(unsigned char c, std::string& data)
{
    if (c == iac) {
        data += static_cast<char>(c);
        state_ = State::Data;
    } else if (c == sb) {
        sub_.clear();
        state_ = State::Sub;
    } else if (c >= will && c <= dont) {
        verb_ = c;
        state_ = State::Verb;
    } else {
        state_ = State::Data; // NOP, go-ahead, break and the like: nothing for us
    }
}

void TelnetCodec::addToSubnegotiation(char c)
{
    if (sub_.size() < maxSubnegotiation)
        sub_ += c;
    else
        overlong_ = true;
}

std::string TelnetCodec::decode(const std::string& raw)
{
    std::string data;
    for (const char ch : raw) {
        if (overlong_)
            break; // nothing after a broken subnegotiation can be trusted
        if (state_ == State::Sub || state_ == State::SubIac)
            subnegotiationByte(ch, data);
        else
            dataByte(ch, data);
    }
    return data;
}

void TelnetCodec::dataByte(char ch, std::string& data)
{
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (state_) {
    case State::AfterCr:
        state_ = State::Data;
        if (c == 0)
            break; // CR NUL is a CR
        [[fallthrough]];
    case State::Data:
        if (c == iac) {
            state_ = State::Iac;
        } else {
            data += ch;
            if (ch == cr && !serverDoesBinary_)
                state_ = State::AfterCr;
        }
        break;
    case State::Iac:
        afterIac(c, data);
        break;
    case State::Verb:
        option(verb_, c);
        state_ = State::Data;
        break;
    case State::Sub:
    case State::SubIac:
        break; // subnegotiationByte's
    }
}

void TelnetCodec::subnegotiationByte(char ch, std::string& data)
{
    const unsigned char c = static_cast<unsigned char>(ch);
    if (state_ == State::Sub) {
        if (c == iac)
            state_ = State::SubIac;
        else
            addToSubnegotiation(ch);
    } else if (c == iac) {
        addToSubnegotiation(ch);
        state_ = State::Sub;
    } else if (c == se) {
        subnegotiation(sub_);
        sub_.clear();
        state_ = State::Data;
    } else {
        // An IAC that is neither doubled nor the end: the subnegotiation was cut short, and this is
        // the next command.
        sub_.clear();
        afterIac(c, data);
    }
}

} // namespace vantor::serial
