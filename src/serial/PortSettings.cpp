#include "serial/PortSettings.h"

namespace vantor::serial {

namespace {
bool valid(int index, const std::vector<std::string>& items)
{
    return index >= 0 && index < static_cast<int>(items.size());
}
} // namespace

std::string PortSettings::settingsText() const
{
    return std::to_string(baudRate) + "," + parity + "," + std::to_string(dataBits) + "," +
           std::to_string(stopBits);
}

const std::vector<std::string>& PortSettings::portItems()
{
    static const std::vector<std::string> items{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"};
    return items;
}

const std::vector<std::string>& PortSettings::baudItems()
{
    static const std::vector<std::string> items{"1200",  "2400",  "4800",  "9600",
                                                "19200", "38400", "57600", "115200"};
    return items;
}

const std::vector<std::string>& PortSettings::dataBitItems()
{
    static const std::vector<std::string> items{"7", "8"};
    return items;
}

const std::vector<std::string>& PortSettings::parityItems()
{
    static const std::vector<std::string> items{"None", "Even", "Odd"};
    return items;
}

const std::vector<std::string>& PortSettings::stopBitItems()
{
    static const std::vector<std::string> items{"1", "2"};
    return items;
}

PortSettings PortSettings::fromIndexes(int baudIndex, int dataBitIndex, int parityIndex, int stopBitIndex)
{
    PortSettings s;
    if (valid(baudIndex, baudItems()))
        s.baudRate = std::stoi(baudItems()[static_cast<std::size_t>(baudIndex)]);
    if (valid(dataBitIndex, dataBitItems()))
        s.dataBits = std::stoi(dataBitItems()[static_cast<std::size_t>(dataBitIndex)]);
    if (valid(parityIndex, parityItems()))
        s.parity = parityItems()[static_cast<std::size_t>(parityIndex)].front();
    if (valid(stopBitIndex, stopBitItems()))
        s.stopBits = std::stoi(stopBitItems()[static_cast<std::size_t>(stopBitIndex)]);
    return s;
}

std::string PortSettings::shortText() const
{
    return std::to_string(dataBits) + parity + std::to_string(stopBits);
}

std::string PortSettings::differencesFrom(const PortSettings& applied) const
{
    std::string out;
    const auto add = [&out](const std::string& what) { out += (out.empty() ? "" : " and ") + what; };
    if (baudRate != applied.baudRate)
        add(std::to_string(baudRate) + " baud (it runs at " + std::to_string(applied.baudRate) + ")");
    if (parity != applied.parity)
        add(std::string("parity ") + (parity == 'E' ? "even" : parity == 'O' ? "odd" : "none"));
    if (dataBits != applied.dataBits)
        add(std::to_string(dataBits) + " data bits");
    if (stopBits != applied.stopBits)
        add(std::to_string(stopBits) + " stop bits");
    return out;
}

bool PortSettings::operator==(const PortSettings& other) const
{
    return baudRate == other.baudRate && parity == other.parity && dataBits == other.dataBits &&
           stopBits == other.stopBits;
}

} // namespace vantor::serial
