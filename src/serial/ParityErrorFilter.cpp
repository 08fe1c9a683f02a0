#include "serial/ParityErrorFilter.h"

namespace vantor::serial {

std::string ParityErrorFilter::filter(const std::string& raw)
{
    const std::string in = pending_ + raw;
    pending_.clear();
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        if (in[i] != '\xFF') {
            out += in[i++];
            continue;
        }
        if (i + 1 >= in.size())
            break;
        if (in[i + 1] == '\xFF') {
            out += '\xFF';
            i += 2;
        } else if (in[i + 1] == '\0') {
            if (i + 2 >= in.size())
                break;
            out += '?';
            i += 3;
        } else {
            // Not a mark the kernel produces; pass it through rather than lose data.
            out += in[i++];
        }
    }
    pending_ = in.substr(i);
    return out;
}

} // namespace vantor::serial
