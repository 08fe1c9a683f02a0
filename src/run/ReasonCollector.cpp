#include "run/ReasonCollector.h"

#include "record/UploadRecord.h"

namespace vantor::run {

void ReasonCollector::showCaption(const std::string& caption)
{
    lastCaption_ = caption;
    shown_.showCaption(caption);
}

void ReasonCollector::recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption)
{
    shown_.recordSent(lineNumber, total, caption);
}

void ReasonCollector::detail(const std::string& sentence)
{
    details_ += (details_.empty() ? "" : "; ") + sentence;
    shown_.detail(sentence);
}

std::string ReasonCollector::reason() const
{
    return record::UploadRecord::reasonOf(lastCaption_, details_);
}

} // namespace vantor::run
