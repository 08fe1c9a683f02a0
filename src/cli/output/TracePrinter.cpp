#include "cli/output/TracePrinter.h"

#include "hostlink/ControlText.h"

namespace vantor::cli {

TracePrinter::TracePrinter(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void TracePrinter::print(hostlink::TraceDirection direction, const std::string& bytes)
{
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    std::fprintf(out_, "[%10.3f ms] %s %s\n", ms, direction == hostlink::TraceDirection::Sent ? ">>" : "<<",
                 hostlink::ControlText::escape(bytes).c_str());
    std::fflush(out_);
}

} // namespace vantor::cli
