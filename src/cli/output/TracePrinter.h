#pragma once

#include "hostlink/CommandExchange.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace vantor::cli {

// Writes line traffic as "[   12.345 ms] >> @01C230*<CR>" (sent) or "<<" (received), times counted
// from the printer's creation, control characters escaped.
class TracePrinter
{
public:
    explicit TracePrinter(std::FILE* out);
    void print(hostlink::TraceDirection direction, const std::string& bytes);

private:
    std::FILE* out_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace vantor::cli
