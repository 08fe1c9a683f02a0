#include "plcsim/RecordWindow.h"

namespace vantor::plcsim {

namespace {
constexpr std::uint64_t fnvPrime = 1099511628211ull;

std::uint64_t fold(std::uint64_t digest, const std::string& record)
{
    for (const char c : record)
        digest = (digest ^ static_cast<unsigned char>(c)) * fnvPrime;
    return (digest ^ static_cast<unsigned char>('\r')) * fnvPrime;
}
} // namespace

void RecordWindow::add(std::string record)
{
    ++count_;
    digest_ = fold(digest_, record);
    const std::size_t cost = costOf(record);
    if (cost > maxBytes_) {
        emptyWindow();
        return;
    }
    kept_.push_back(std::move(record));
    bytes_ += cost;
    while (bytes_ > maxBytes_)
        dropOldest();
}

void RecordWindow::clear()
{
    emptyWindow();
    count_ = 0;
    digest_ = emptyDigest;
}

void RecordWindow::emptyWindow()
{
    kept_.clear();
    first_ = 0;
    bytes_ = 0;
}

void RecordWindow::dropOldest()
{
    bytes_ -= costOf(kept_[first_]);
    std::string().swap(kept_[first_]);
    ++first_;
    // Moving the rest to the front only once half is dropped keeps adding at a constant cost.
    if (first_ * 2 >= kept_.size()) {
        kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(first_));
        first_ = 0;
    }
}

std::uint64_t RecordWindow::digestOf(const std::vector<std::string>& records)
{
    std::uint64_t digest = emptyDigest;
    for (const std::string& record : records)
        digest = fold(digest, record);
    return digest;
}

} // namespace vantor::plcsim
