#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vantor::console {

// The commands sent from the console's command box, walked with Up and Down as in a shell: Up goes to
// older commands, Down back to newer ones and finally to the text that was being typed.
class CommandHistory
{
public:
    static constexpr std::size_t maxEntries = 500;

    // A command was sent; a repeat of the newest entry is not added again. Ends any walk.
    void add(const std::string& command);

    // The text to show after Up or Down, given what the box holds now (kept as the draft when a walk
    // starts). Nothing changes at either end: Up at the oldest and Down at the draft return current.
    std::string older(const std::string& current);
    std::string newer(const std::string& current);

    std::size_t size() const { return entries_.size(); }

private:
    std::vector<std::string> entries_; // oldest first
    std::size_t position_ = 0;         // entries_.size() while not walking
    std::string draft_;
};

} // namespace vantor::console
