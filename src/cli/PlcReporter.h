#pragma once

#include "cli/FleetReporter.h"
#include "cli/PlcResult.h"
#include "upload/UploadReporter.h"

#include <string>

namespace vantor::cli {

// One PLC's upload reporting into the run's FleetReporter, named by its port and ID; remembers
// what it said, for the result's reason. Used on that PLC's port thread only.
class PlcReporter : public upload::UploadReporter
{
public:
    PlcReporter(FleetReporter& out, std::string port, std::string id)
        : out_(out), port_(std::move(port)), id_(std::move(id))
    {}

    void showCaption(const std::string& caption) override;
    void repaint() override {}
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) override;
    void detail(const std::string& sentence) override;

    // The last caption, then the details, in one text: why the upload ended as it did.
    std::string reason() const { return PlcResult::reasonOf(lastCaption_, details_); }
    // Whether a detail already told standard error why.
    bool explained() const { return !details_.empty(); }

private:
    FleetReporter& out_;
    std::string port_;
    std::string id_;
    std::string lastCaption_;
    std::string details_;
};

} // namespace vantor::cli
