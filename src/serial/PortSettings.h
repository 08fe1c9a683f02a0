#pragma once

#include <string>
#include <vector>

namespace vantor::serial {

// Line parameters of the serial port. Flow control is always off.
struct PortSettings
{
    int baudRate = 38400;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;  // 7 or 8
    int stopBits = 1;  // 1 or 2
    // The modem control lines while the port is open: asserted unless asked otherwise, since adapters
    // and PLCs that take their power or a "host present" signal from DTR or RTS expect them raised.
    // Not line parameters: operator== and the texts leave them out.
    bool dtr = true;
    bool rts = true;

    // "baud,parity letter,data bits,stop bits", e.g. "38400,N,8,1".
    std::string settingsText() const;
    // "8N1": data bits, parity letter, stop bits.
    std::string shortText() const;
    // What these settings ask for that applied lacks, in words: "parity even and 7 data bits".
    std::string differencesFrom(const PortSettings& applied) const;

    // The console's lists, in their order, and the index each starts on.
    static const std::vector<std::string>& portItems();
    static const std::vector<std::string>& baudItems();
    static const std::vector<std::string>& dataBitItems();
    static const std::vector<std::string>& parityItems();
    static const std::vector<std::string>& stopBitItems();
    static constexpr int defaultPortIndex = 0;
    static constexpr int defaultBaudIndex = 5;
    static constexpr int defaultDataBitIndex = 1;
    static constexpr int defaultParityIndex = 0;
    static constexpr int defaultStopBitIndex = 0;
    static constexpr const char* defaultTimeoutText = "500 ";

    // Settings from the lists' selected indexes; an index outside its list keeps that field's default.
    static PortSettings fromIndexes(int baudIndex, int dataBitIndex, int parityIndex, int stopBitIndex);

    bool operator==(const PortSettings& other) const;
};

} // namespace vantor::serial
