#pragma once

#include "upload/UploadReporter.h"

#include <string>

namespace vantor::run {

// Passes an upload's reports on to the front end's reporter and keeps what they said, for the
// record's reason: the last caption and the details in order. Used on the upload's thread only.
class ReasonCollector : public upload::UploadReporter
{
public:
    explicit ReasonCollector(upload::UploadReporter& shown) : shown_(shown) {}

    void showCaption(const std::string& caption) override;
    void repaint() override { shown_.repaint(); }
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) override;
    void detail(const std::string& sentence) override;
    // The front end's words, so that the reason says what the front end said.
    std::string remedy(Remedy which, int value) const override { return shown_.remedy(which, value); }

    // The last caption, then the details, in one text (UploadRecord::reasonOf).
    std::string reason() const;
    // Whether a detail said why already.
    bool explained() const { return !details_.empty(); }

private:
    upload::UploadReporter& shown_;
    std::string lastCaption_;
    std::string details_;
};

} // namespace vantor::run
