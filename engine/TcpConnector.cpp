#include "engine/TcpConnector.h"

#include "engine/Failure.h"
#include "engine/Net.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

namespace tarvik {

TcpConnector::TcpConnector(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* head = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &head); rc != 0)
        throw Failure("cannot connect to " + hostPortText(host, port) + ": " + gai_strerror(rc));
    for (addrinfo* ai = head; ai; ai = ai->ai_next) {
        Address address{};
        std::memcpy(&address.storage, ai->ai_addr, ai->ai_addrlen);
        address.length = ai->ai_addrlen;
        address.family = ai->ai_family;
        addresses_.push_back(address);
    }
    freeaddrinfo(head);
    tryNext();
}

TcpConnector::~TcpConnector() {
    if (fd_ >= 0) close(fd_);
}

void TcpConnector::tryNext() {
    while (next_ < addresses_.size()) {
        const Address& address = addresses_[next_++];
        fd_ = socket(address.family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) {
            reason_ = std::strerror(errno);
            continue;
        }
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0 ||
            errno == EINPROGRESS || errno == EINTR) {
            // EINTR leaves the connection going on in the background, as EINPROGRESS does.
            return;
        }
        reason_ = std::strerror(errno);
        close(fd_);
        fd_ = -1;
    }
    state_ = State::Failed;
}

TcpConnector::State TcpConnector::progress() {
    if (state_ != State::Connecting) return state_;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) {
        // Still under way when the peer's address cannot be read yet.
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        if (getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return state_;
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        state_ = State::Connected;
        return state_;
    }
    reason_ = std::strerror(error);
    close(fd_);
    fd_ = -1;
    tryNext();
    return state_;
}

int TcpConnector::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

} // namespace tarvik
