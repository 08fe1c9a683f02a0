#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace vantor::test {

// A file with given bytes, written in binary (no line-end translation anywhere), removed when it goes
// out of scope.
class TempFile
{
public:
    explicit TempFile(const std::string& bytes, const char* suffix = ".VQC")
    {
        static std::mt19937_64 random{std::random_device{}()};
        const auto dir = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = dir / ("vantor-test-" + std::to_string(random()) + suffix);
            if (!std::filesystem::exists(candidate))
                path_ = candidate.string();
        }
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path_);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace vantor::test
