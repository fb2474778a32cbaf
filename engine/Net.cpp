#include "engine/Net.h"

#include "engine/Failure.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvik {

namespace {

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head) freeaddrinfo(head);
    }
};

int resolve(const std::string& host, uint16_t port, bool passive, AddressList& list) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = passive ? AI_PASSIVE : AI_ADDRCONFIG;
    std::string service = std::to_string(port);
    return getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list.head);
}

} // namespace

std::string hostPortText(const std::string& host, uint16_t port) {
    bool literalV6 = host.find(':') != std::string::npos;
    return (literalV6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

int connectTcp(const std::string& host, uint16_t port, const std::function<void(int, int)>& prepare) {
    auto fail = [&](const std::string& reason) {
        return Failure("cannot connect to " + hostPortText(host, port) + ": " + reason, 1);
    };
    AddressList list;
    if (int rc = resolve(host, port, false, list); rc != 0) throw fail(gai_strerror(rc));
    std::string reason = "no usable address";
    for (addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        try {
            if (prepare) prepare(fd, ai->ai_family);
        } catch (const Failure& f) {
            close(fd);
            throw fail(f.what());
        }
        int rc;
        do
            rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
        while (rc != 0 && errno == EINTR);
        if (rc == 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        reason = std::strerror(errno);
        close(fd);
    }
    throw fail(reason);
}

std::vector<int> listenTcp(const std::string& address, uint16_t port) {
    std::string host = address.empty() ? "localhost" : address == "*" ? "" : address;
    auto fail = [&](const std::string& reason) {
        return Failure("cannot listen on " + hostPortText(host.empty() ? "*" : host, port) + ": " + reason);
    };
    AddressList list;
    if (int rc = resolve(host, port, true, list); rc != 0) throw fail(gai_strerror(rc));
    std::vector<int> sockets;
    std::string reason = "no usable address";
    for (addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // Each family gets its own socket, so a v6 wildcard must not claim v4 too.
        if (ai->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, 16) == 0) {
            setNonBlocking(fd, true);
            sockets.push_back(fd);
            // A port chosen by the system would differ between addresses.
            if (port == 0) break;
            continue;
        }
        reason = std::strerror(errno);
        close(fd);
    }
    if (sockets.empty()) throw fail(reason);
    return sockets;
}

uint16_t boundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

void setNonBlocking(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

} // namespace tarvik
