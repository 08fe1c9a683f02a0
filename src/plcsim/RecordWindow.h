#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::plcsim {

// A program's records as the simulated PLC keeps them: every record counted and folded into a digest,
// and only the most recent ones kept, as many as fit maxBytes, so that what it holds stays bounded
// however much it is sent. A record costs its size plus sizeof(std::string) (what a kept one holds
// at least); a record that costs more than maxBytes alone empties the window (the window is always
// the newest records, with no gap). A window of maxBytes 0 keeps nothing and still counts and digests.
class RecordWindow
{
public:
    explicit RecordWindow(std::size_t maxBytes = 0) : maxBytes_(maxBytes) {}

    void add(std::string record);
    // Forgets every record; the budget stays.
    void clear();

    // How many records were added since the last clear().
    std::int64_t count() const { return count_; }
    // A digest of every record added since the last clear(), in order: equal for equal sequences, so a
    // caller compares it with digestOf() (or another window's) what it sent. FNV-1a, 64 bits, over each
    // record's bytes followed by a CR (which no record holds): not a cryptographic digest.
    std::uint64_t digest() const { return digest_; }
    // The most recent records, oldest first: all of them while they fit maxBytes.
    std::vector<std::string> records() const
    {
        return {kept_.begin() + static_cast<std::ptrdiff_t>(first_), kept_.end()};
    }
    // What the kept records cost, at most maxBytes.
    std::size_t heldBytes() const { return bytes_; }
    std::size_t maxBytes() const { return maxBytes_; }

    static std::uint64_t digestOf(const std::vector<std::string>& records);
    // What keeping record costs, as maxBytes counts it.
    static std::size_t costOf(const std::string& record) { return record.size() + sizeof(std::string); }

private:
    void emptyWindow();
    void dropOldest();

    std::size_t maxBytes_;
    std::vector<std::string> kept_; // the window from first_ on; those before it are dropped (empty)
    std::size_t first_ = 0;
    std::size_t bytes_ = 0;
    std::int64_t count_ = 0;
    std::uint64_t digest_ = emptyDigest;

    static constexpr std::uint64_t emptyDigest = 14695981039346656037ull; // FNV-1a's offset basis
};

} // namespace vantor::plcsim
