#include "cli/terminal/HistoryFile.h"

namespace vantor::cli {

std::string HistoryFile::safeName(const std::string& portName)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string safe;
    for (const char c : portName) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            c == '-' || c == '_') {
            safe += c;
        } else {
            safe += '%';
            safe += hex[byte >> 4];
            safe += hex[byte & 15];
        }
    }
    return safe;
}

} // namespace vantor::cli
