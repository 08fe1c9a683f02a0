#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace vantor::test {

// A file with given bytes, removed when it goes out of scope.
class TempFile
{
public:
    explicit TempFile(const std::string& bytes, const char* suffix = ".VQC")
    {
        std::string name = std::string("/tmp/vantor-test-XXXXXX") + suffix;
        const int fd = ::mkstemps(name.data(), static_cast<int>(std::string(suffix).size()));
        if (fd < 0)
            throw std::runtime_error("mkstemps failed");
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write failed");
        ::close(fd);
        path_ = name;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace vantor::test
