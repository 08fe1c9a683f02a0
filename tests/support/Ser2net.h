#pragma once

// A real serial server for the tests: Debian's ser2net, in front of one device, with a raw TCP and a
// Telnet (RFC 2217) accepter on free loopback ports, chardelay off, configured from ser2net.yaml.in
// (as the scripts are). Started per use, stopped with it.
#include "support/ChildProcess.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vantor::test {

class Ser2net
{
public:
    static constexpr const char* program = "/usr/sbin/ser2net";
    static bool available() { return ::access(program, X_OK) == 0; }

    // Serves device; false when ser2net did not come up within 5 s.
    bool start(const std::string& device)
    {
        rawPort_ = freePort();
        telnetPort_ = freePort();
        char dir[] = "/tmp/vantor-ser2net-XXXXXX";
        dir_ = ::mkdtemp(dir);
        config_ = configFor(device, rawPort_, telnetPort_);
        std::FILE* f = std::fopen((dir_ + "/ser2net.yaml").c_str(), "w");
        std::fputs(config_.c_str(), f);
        std::fclose(f);
        if (!process_.start(program, {"-n", "-c", dir_ + "/ser2net.yaml", "-P", dir_ + "/ser2net.pid"}))
            return false;
        process_.closeStdin();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (listening(rawPort_) && listening(telnetPort_))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    ~Ser2net()
    {
        kill(SIGTERM);
        process_.waitFinished(3000);
        if (!dir_.empty()) [[maybe_unused]]
            int ignored = std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    // The server dying: SIGKILL, no goodbye.
    void kill(int signal = SIGKILL)
    {
        if (process_.running())
            ::kill(process_.pid(), signal);
    }

    std::string raw() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
    std::string rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
    const std::string& config() const { return config_; }

    // The configuration template with its @DEVICE@, @RAW_PORT@ and @TELNET_PORT@ filled in.
    static std::string configFor(const std::string& device, int rawPort, int telnetPort)
    {
        std::ifstream in(VANTOR_SER2NET_TEMPLATE, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto fill = [&text](const std::string& field, const std::string& value) {
            for (auto at = text.find(field); at != std::string::npos;
                 at = text.find(field, at + value.size()))
                text.replace(at, field.size(), value);
        };
        fill("@DEVICE@", device);
        fill("@RAW_PORT@", std::to_string(rawPort));
        fill("@TELNET_PORT@", std::to_string(telnetPort));
        return text;
    }

    // A loopback port nobody listens on now.
    static int freePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
        ::close(s);
        return ntohs(a.sin_port);
    }

private:
    // Whether something listens on the port, from the kernel's table (a probe connection would make
    // ser2net open the device).
    static bool listening(int port)
    {
        std::FILE* table = std::fopen("/proc/net/tcp", "r");
        if (!table)
            return false;
        char line[512];
        char want[32];
        std::snprintf(want, sizeof want, ":%04X 00000000:0000 0A", port);
        bool found = false;
        while (!found && std::fgets(line, sizeof line, table))
            found = std::string(line).find(want) != std::string::npos;
        std::fclose(table);
        return found;
    }

    ChildProcess process_;
    std::string dir_, config_;
    int rawPort_ = 0, telnetPort_ = 0;
};

} // namespace vantor::test
