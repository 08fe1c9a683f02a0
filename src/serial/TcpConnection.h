#pragma once

#include "serial/PortRead.h"
#include "serial/Result.h"
#include "serial/StopToken.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::serial {

// One TCP connection to a serial server, with Nagle's delay off (each frame leaves at once). BSD
// sockets on POSIX, Winsock on Windows. Not thread-safe.
class TcpConnection
{
public:
    enum class Failure { None, NoSuchHost, Refused, TimedOut, Stopped, Other };

    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host (a name, IPv4 or IPv6 address) and connects to port, trying each address the name
    // has, within timeoutMs in all. stop is asked every 100 ms; true gives up with Failure::Stopped.
    // What happened, as words that follow "cannot connect: ".
    Result<Failure> connect(const std::string& host, int port, int timeoutMs, const StopToken& stop);
    // Takes over a connected socket (one TcpListener accepted), closing any connection held before.
    void adopt(std::intptr_t socket);
    void close();
    bool isOpen() const { return socket_ != invalid; }

    // The numeric addresses a host name (or address) stands for; empty when it does not resolve.
    static std::vector<std::string> addressesOf(const std::string& host);

    enum class Sent { All, Failed, Stopped };
    // Sends everything, waiting up to timeoutMs for room; stop is asked at least every 100 ms while
    // waiting. Unless everything went out the connection is closed: it failed (or the server read
    // nothing for timeoutMs), or a stop was asked for.
    Sent send(const std::string& bytes, const StopToken& stop = {}, int timeoutMs = 5000);
    // What has arrived, at most PortRead::maxBytes, waiting up to waitMs for the first bytes; lost when
    // the server closed the connection or it failed (the connection is closed then).
    PortRead receive(int waitMs);

private:
    static constexpr std::intptr_t invalid = -1;
    std::intptr_t socket_ = invalid; // a file descriptor, or a Winsock SOCKET
};

} // namespace vantor::serial
