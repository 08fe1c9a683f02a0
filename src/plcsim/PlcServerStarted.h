#pragma once

#include <string>

namespace vantor::plcsim {

// Whether a server of the simulated PLC started serving, and why not.
struct PlcServerStarted
{
    std::string error; // why not, as words that may follow "cannot start: "; empty when serving
    bool ok() const { return error.empty(); }
};

} // namespace vantor::plcsim
