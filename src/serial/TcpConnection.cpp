// TcpConnection over BSD sockets or Winsock, which differ here only in names: the few calls that
// differ are wrapped in SocketCalls.h.
#include "serial/TcpConnection.h"

#include "serial/SocketCalls.h"

#include <algorithm>
#include <chrono>

namespace vantor::serial {

using namespace sockets;

namespace {

constexpr int sliceMs = 100;

Native native(std::intptr_t s)
{
    return static_cast<Native>(s);
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setNoDelay(Native s)
{
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// What connectWithin says besides a socket's own error (which is positive) or 0 for connected.
constexpr int timedOut = -1;
constexpr int stopped = -2;

// Connects s (non-blocking) to address by deadline (nowMs()), asking stop every slice.
int connectWithin(Native s, const addrinfo& address, std::int64_t deadline, const StopToken& stop)
{
    int error = ::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0 ? 0 : lastError();
    while (error != 0 && wouldBlock(error)) {
        if (stop.requested())
            return stopped;
        const std::int64_t left = deadline - nowMs();
        if (left <= 0)
            return timedOut;
        short revents = 0;
        if (pollOne(s, POLLOUT, static_cast<int>(left < sliceMs ? left : sliceMs), &revents) > 0) {
            int soError = 0;
            socklen_t length = sizeof soError;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
            error = soError;
        }
    }
    return error;
}

// Tries the addresses in turn, all of them within timeoutMs, until one connects: its socket goes to
// connected. Otherwise why the last one tried failed, as words that follow "cannot connect: ".
Result<TcpConnection::Failure> connectFirst(const addrinfo* found, int port, int timeoutMs,
                                            const StopToken& stop, std::intptr_t& connected)
{
    using Failure = TcpConnection::Failure;
    const std::int64_t deadline = nowMs() + timeoutMs;
    Failure failure = Failure::Other;
    std::string why = "no address to connect to";
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const Native s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        const Native none = static_cast<Native>(-1); // INVALID_SOCKET on Windows
        if (s == none || !setNonBlocking(s)) {
            why = errorText(lastError());
            if (s != none)
                closeNative(s);
            continue;
        }
        const int error = connectWithin(s, *a, deadline, stop);
        if (error == 0) {
            setNoDelay(s);
            connected = static_cast<std::intptr_t>(s);
            return {};
        }
        closeNative(s);
        if (error == stopped)
            return {Failure::Stopped, "stopped on request"};
        if (error == timedOut)
            return {Failure::TimedOut,
                    "no connection within " + std::to_string((timeoutMs + 999) / 1000) + " s"};
        why = refused(error) ? "connection refused: is the serial server running, and is " +
                                   std::to_string(port) + " its port?"
                             : errorText(error);
        failure = refused(error) ? Failure::Refused : Failure::Other;
    }
    return {failure, why};
}

} // namespace

TcpConnection::~TcpConnection()
{
    close();
}

void TcpConnection::adopt(std::intptr_t socket)
{
    close();
    const Native s = native(socket);
    setNonBlocking(s);
    setNoDelay(s);
    socket_ = socket;
}

void TcpConnection::close()
{
    if (socket_ != invalid)
        closeNative(native(socket_));
    socket_ = invalid;
}

Result<TcpConnection::Failure> TcpConnection::connect(const std::string& host, int port, int timeoutMs,
                                                      const StopToken& stop)
{
    close();
    std::string why;
    if (!startSockets()) {
        why = "the system's network layer did not start";
        return {Failure::Other, why};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        error != 0) {
        why = "the name " + host + " does not resolve (" + gai_strerror(error) + ")";
        return {Failure::NoSuchHost, why};
    }
    const Result<Failure> result = connectFirst(found, port, timeoutMs, stop, socket_);
    ::freeaddrinfo(found);
    return result;
}

std::vector<std::string> TcpConnection::addressesOf(const std::string& host)
{
    std::vector<std::string> addresses;
    if (!startSockets())
        return addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo* a = found; a; a = a->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0)
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

TcpConnection::Sent TcpConnection::send(const std::string& bytes, const StopToken& stop, int timeoutMs)
{
    const std::int64_t deadline = nowMs() + timeoutMs;
    std::size_t done = 0;
    while (socket_ != invalid && done < bytes.size()) {
        const auto n =
            ::send(native(socket_), bytes.data() + done, static_cast<int>(bytes.size() - done), sendFlags);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && !wouldBlock(lastError()))
            break;
        // No room: wait for some in slices, so that a stop request (whose signal may also end a
        // slice early) is heard while the server reads nothing.
        for (;;) {
            if (stop.requested()) {
                close();
                return Sent::Stopped;
            }
            const std::int64_t left = deadline - nowMs();
            if (left <= 0)
                break;
            short revents = 0;
            if (pollOne(native(socket_), POLLOUT, static_cast<int>(std::min<std::int64_t>(left, sliceMs)),
                        &revents) > 0)
                break;
        }
        if (deadline - nowMs() <= 0)
            break;
    }
    if (socket_ != invalid && done == bytes.size())
        return Sent::All;
    close();
    return Sent::Failed;
}

PortRead TcpConnection::receive(int waitMs)
{
    PortRead result;
    if (socket_ == invalid) {
        result.lost = true;
        return result;
    }
    short revents = 0;
    if (pollOne(native(socket_), POLLIN, waitMs > 0 ? waitMs : 0, &revents) <= 0)
        return result; // nothing came, or a signal ended the wait
    char buffer[8192];
    while (result.bytes.size() < PortRead::maxBytes) {
        const std::size_t room = std::min(sizeof buffer, PortRead::maxBytes - result.bytes.size());
        const auto n = ::recv(native(socket_), buffer, static_cast<int>(room), 0);
        if (n > 0) {
            result.bytes.append(buffer, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < room)
                break;
            continue;
        }
        if (n < 0 && wouldBlock(lastError()))
            break;
        // 0: the server closed the connection; below 0: it failed. What came before still counts.
        if (result.bytes.empty()) {
            close();
            result.lost = true;
        }
        break;
    }
    return result;
}

} // namespace vantor::serial
