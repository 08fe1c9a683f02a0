#pragma once
// The few socket calls in which BSD sockets and Winsock differ, wrapped once for the port layer's TCP
// classes (TcpConnection, TcpListener).
#include <cstring>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vantor::serial::sockets {

#ifdef _WIN32
using Native = SOCKET;
inline int lastError()
{
    return WSAGetLastError();
}
inline bool wouldBlock(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
inline bool refused(int error)
{
    return error == WSAECONNREFUSED;
}
inline void closeNative(Native s)
{
    closesocket(s);
}
inline bool setNonBlocking(Native s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
inline int pollOne(Native s, short events, int waitMs, short* revents)
{
    WSAPOLLFD p{s, events, 0};
    const int n = WSAPoll(&p, 1, waitMs);
    *revents = p.revents;
    return n;
}
inline std::string errorText(int error)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}
// Winsock must be started once per process before any other call.
inline bool startSockets()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
inline constexpr int sendFlags = 0;
#else
using Native = int;
inline int lastError()
{
    return errno;
}
inline bool wouldBlock(int error)
{
    return error == EINPROGRESS || error == EAGAIN || error == EWOULDBLOCK;
}
inline bool refused(int error)
{
    return error == ECONNREFUSED;
}
inline void closeNative(Native s)
{
    ::close(s);
}
inline bool setNonBlocking(Native s)
{
    return ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK) == 0 && ::fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
inline int pollOne(Native s, short events, int waitMs, short* revents)
{
    pollfd p{s, events, 0};
    const int n = ::poll(&p, 1, waitMs);
    *revents = p.revents;
    return n;
}
inline std::string errorText(int error)
{
    return std::strerror(error);
}
inline bool startSockets()
{
    return true;
}
#ifdef MSG_NOSIGNAL
inline constexpr int sendFlags = MSG_NOSIGNAL; // a closed connection is an error, not a signal
#else
inline constexpr int sendFlags = 0;
#endif
#endif

} // namespace vantor::serial::sockets
