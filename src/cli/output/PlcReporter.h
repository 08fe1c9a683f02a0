#pragma once

#include "cli/output/PlcResult.h"
#include "run/PlcListener.h"

#include <string>

namespace vantor::cli {

class FleetReporter;

// One PLC's upload reporting into the run's FleetReporter, named by its port and ID. Used on that
// PLC's port thread only.
class PlcReporter : public run::PlcListener
{
public:
    PlcReporter(FleetReporter& out, std::string port, std::string id)
        : out_(out), port_(std::move(port)), id_(std::move(id))
    {}

    void showCaption(const std::string& caption) override;
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) override;
    void detail(const std::string& sentence) override;
    // The command line's options (Usage::remedy).
    std::string remedy(Remedy which, int value) const override;
    void ended(const PlcResult& result, bool explained) override;
    void recorded(const PlcResult& result) override;

private:
    FleetReporter& out_;
    std::string port_;
    std::string id_;
};

} // namespace vantor::cli
