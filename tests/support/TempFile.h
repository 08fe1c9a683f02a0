#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vantor::test {

// A file with given bytes, written in binary (no line-end translation anywhere), removed when it goes
// out of scope. Its name ends in suffix, UTF-8 (on Windows too, so any name can be tried); path() is
// UTF-8 as well, the form the program file reader takes.
class TempFile
{
public:
    explicit TempFile(const std::string& bytes, const std::string& suffix = ".VQC")
    {
        static std::mt19937_64 random{std::random_device{}()};
        const auto dir = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && file_.empty(); ++attempt) {
            const auto candidate =
                dir / std::filesystem::u8path("vantor-test-" + std::to_string(random()) + suffix);
            if (!std::filesystem::exists(candidate))
                file_ = candidate;
        }
        std::ofstream out(file_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + file_.u8string());
    }
    ~TempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::string path() const { return file_.u8string(); }

private:
    std::filesystem::path file_;
};

} // namespace vantor::test
