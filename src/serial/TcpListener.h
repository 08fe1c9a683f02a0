#pragma once

#include "serial/Result.h"
#include "serial/TcpConnection.h"

#include <cstdint>
#include <string>

namespace vantor::serial {

// A listening TCP socket, for serving a simulated PLC over the network: clients are taken one at a
// time with accept(). BSD sockets on POSIX, Winsock on Windows. Not thread-safe.
class TcpListener
{
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Listens on host (a name or address; its first address) and port (0: one the system picks). When
    // it cannot, why, as words that may follow "cannot listen: ".
    Result<> listen(const std::string& host, int port);
    void close();

    // The port listened on, and "HOST:PORT" as a client names it (IPv6 in brackets).
    int port() const { return port_; }
    const std::string& address() const { return address_; }

    // Waits up to waitMs (0: not at all) for a client; true with the connection in client and the
    // client's address in peer when one came.
    bool accept(int waitMs, TcpConnection* client, std::string* peer);

private:
    static constexpr std::intptr_t invalid = -1;
    std::intptr_t socket_ = invalid;
    int port_ = 0;
    std::string address_;
};

} // namespace vantor::serial
