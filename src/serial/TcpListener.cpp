#include "serial/TcpListener.h"

#include "serial/SocketCalls.h"

namespace vantor::serial {

using namespace sockets;

namespace {

// "host:port" for an address, IPv6 in brackets; empty when it has no numeric form.
std::string addressText(const sockaddr* address, socklen_t length)
{
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (::getnameinfo(address, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    const std::string h = host;
    return (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + service;
}

} // namespace

TcpListener::~TcpListener()
{
    close();
}

void TcpListener::close()
{
    if (socket_ != invalid)
        closeNative(static_cast<Native>(socket_));
    socket_ = invalid;
}

Result<> TcpListener::listen(const std::string& host, int port)
{
    close();
    if (!startSockets())
        return failed("the system's network layer did not start");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        error != 0)
        return failed("the name " + host + " does not resolve (" + gai_strerror(error) + ")");
    const Native s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s == static_cast<Native>(invalid)) {
        ::freeaddrinfo(found);
        return failed(errorText(lastError()));
    }
#ifndef _WIN32
    // A restart finds the port free at once, not after the last connection's TIME_WAIT; Windows'
    // SO_REUSEADDR would let another program take the port over, so it is not set there.
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
#endif
    const bool bound = ::bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
                       ::listen(s, 4) == 0 && setNonBlocking(s);
    ::freeaddrinfo(found);
    if (!bound) {
        const std::string why = errorText(lastError());
        closeNative(s);
        return failed(why);
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    address_ = addressText(reinterpret_cast<sockaddr*>(&local), length);
    port_ = std::stoi(address_.substr(address_.rfind(':') + 1));
    socket_ = static_cast<std::intptr_t>(s);
    return {};
}

bool TcpListener::accept(int waitMs, TcpConnection* client, std::string* peer)
{
    if (socket_ == invalid)
        return false;
    short revents = 0;
    if (pollOne(static_cast<Native>(socket_), POLLIN, waitMs, &revents) <= 0)
        return false;
    sockaddr_storage remote{};
    socklen_t length = sizeof remote;
    const Native s = ::accept(static_cast<Native>(socket_), reinterpret_cast<sockaddr*>(&remote), &length);
    if (s == static_cast<Native>(invalid))
        return false;
    *peer = addressText(reinterpret_cast<sockaddr*>(&remote), length);
    client->adopt(static_cast<std::intptr_t>(s));
    return true;
}

} // namespace vantor::serial
