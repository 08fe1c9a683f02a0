#include "console/CommandHistory.h"

namespace vantor::console {

void CommandHistory::add(const std::string& command)
{
    if (entries_.empty() || entries_.back() != command)
        entries_.push_back(command);
    if (entries_.size() > maxEntries)
        entries_.erase(entries_.begin());
    position_ = entries_.size();
    draft_.clear();
}

std::string CommandHistory::older(const std::string& current)
{
    if (position_ == 0)
        return current;
    if (position_ == entries_.size())
        draft_ = current;
    return entries_[--position_];
}

std::string CommandHistory::newer(const std::string& current)
{
    if (position_ >= entries_.size())
        return current;
    return ++position_ == entries_.size() ? draft_ : entries_[position_];
}

} // namespace vantor::console
