#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace tarvik {

// A TCP connection made without blocking, for poll loops: wait until
// descriptor() is writable, then call progress(); each address of the host is
// tried in turn. Name resolution itself still asks the system resolver.
class TcpConnector {
  public:
    enum class State { Connecting, Connected, Failed };

    // Throws Failure when the name does not resolve.
    TcpConnector(const std::string& host, uint16_t port);
    ~TcpConnector();
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    int descriptor() const { return fd_; }
    State state() const { return state_; }
    State progress();
    // Hands over the connected, non-blocking descriptor.
    int release();
    // Why the last address failed ("connection refused").
    const std::string& reason() const { return reason_; }

  private:
    struct Address {
        sockaddr_storage storage;
        socklen_t length;
        int family;
    };
    void tryNext();

    std::vector<Address> addresses_;
    size_t next_ = 0;
    int fd_ = -1;
    State state_ = State::Connecting;
    std::string reason_ = "no usable address";
};

} // namespace tarvik
