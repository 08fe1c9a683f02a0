#pragma once

// A program run by the tests, with its standard streams on pipes: what QProcess did for them, in
// plain POSIX. Arguments pass as bytes.
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vantor::test {

class ChildProcess
{
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        if (running()) {
            ::kill(pid_, SIGKILL);
            waitFinished(5000);
        }
        for (int fd : {in_, out_, err_})
            if (fd >= 0)
                ::close(fd);
    }

    bool start(const std::string& program, const std::vector<std::string>& args)
    {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        return pid_ > 0;
    }

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !finished_; }

    void write(const std::string& bytes)
    {
        if (in_ >= 0 && !bytes.empty()) [[maybe_unused]]
            auto n = ::write(in_, bytes.data(), bytes.size());
    }
    void closeStdin()
    {
        if (in_ >= 0)
            ::close(in_);
        in_ = -1;
    }

    // Collects output until the process ends or timeoutMs pass; true when it ended.
    bool waitFinished(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!reap()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pump(20);
        }
        while (pump(0)) {
        }
        return true;
    }

    // The next line of standard output, without its line end; empty after timeoutMs.
    std::string readLine(int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::size_t nl = out_text_.find('\n', outRead_);
            if (nl != std::string::npos) {
                std::string line = out_text_.substr(outRead_, nl - outRead_);
                outRead_ = nl + 1;
                while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                    line.pop_back();
                return line;
            }
            if (std::chrono::steady_clock::now() >= deadline || (!pump(20) && reap()))
                return {};
        }
    }

    void terminate()
    {
        if (running())
            ::kill(pid_, SIGTERM);
    }

    // The exit code, or -1 when it died of a signal or has not ended.
    int exitCode() const { return finished_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // The most memory it held at once, in MiB, once it has ended.
    double peakMiB() const { return finished_ ? usage_.ru_maxrss / 1024.0 : 0; }
    // Whether peakMiB() tells what the program itself holds: not under AddressSanitizer, whose shadow
    // memory and quarantine of freed blocks grow with every allocation.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool memoryIsTheProgramsOwn = false;
#else
    static constexpr bool memoryIsTheProgramsOwn = true;
#endif
    const std::string& out() const
    {
        return out_text_;
    }
    const std::string& err() const
    {
        return err_text_;
    }

private:
    bool reap()
    {
        if (finished_ || pid_ <= 0)
            return true;
        if (::wait4(pid_, &status_, WNOHANG, &usage_) == pid_)
            finished_ = true;
        return finished_;
    }
    // Reads what is waiting on either stream, waiting up to waitMs; false when nothing came.
    bool pump(int waitMs)
    {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) <= 0)
            return false;
        bool got = false;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out_text_ : err_text_).append(buffer, static_cast<std::size_t>(n));
                got = true;
            }
        }
        return got;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    int status_ = 0;
    rusage usage_{};
    bool finished_ = false;
    std::string out_text_, err_text_;
    std::size_t outRead_ = 0;
};

} // namespace vantor::test
