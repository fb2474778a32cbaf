#include "engine/RloginLink.h"

#include "engine/Failure.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr uint8_t windowRequest = 0x80;
constexpr uint8_t flushOutput = 0x02;

} // namespace

void RloginLink::bindReservedPort(int fd, int family) {
    for (uint16_t port = 1023; port >= 512; --port) {
        sockaddr_storage storage{};
        socklen_t length;
        if (family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(port);
            length = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&storage);
            a->sin_family = AF_INET;
            a->sin_port = htons(port);
            length = sizeof *a;
        }
        if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0) return;
        // Without the privilege no reserved port will do; the server decides whether it minds.
        if (errno == EACCES || errno == EPERM) return;
    }
}

void RloginLink::handshake(const std::string& localUser, const std::string& remoteUser,
                           const std::string& terminal, unsigned speed) {
    std::string hello;
    hello += '\0';
    hello += localUser + '\0';
    hello += remoteUser + '\0';
    hello += terminal + "/" + std::to_string(speed) + '\0';
    Console::writeAll(descriptor(), hello.data(), hello.size());

    // The server answers with one NUL byte, or with a message explaining its refusal.
    char c;
    ssize_t n;
    do
        n = read(descriptor(), &c, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1 && c == '\0') return;
    if (n <= 0) throw Failure("connection closed by the rlogin server");
    std::string reason;
    char buffer[512];
    if (c != '\001') reason += c;
    while ((n = read(descriptor(), buffer, sizeof buffer)) > 0 && reason.size() < 4096)
        reason.append(buffer, n);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    throw Failure("rlogin server refused the login: " +
                  (reason.empty() ? std::string("no reason given") : reason));
}

std::string RloginLink::windowMessage(WindowSize size) {
    std::string message = "\xff\xffss";
    for (unsigned short value :
         {size.rows, size.columns, static_cast<unsigned short>(0), static_cast<unsigned short>(0)}) {
        message += static_cast<char>(value >> 8);
        message += static_cast<char>(value & 0xff);
    }
    return message;
}

void RloginLink::resized(WindowSize size, std::string& toNet) {
    if (sendsWindowSize_) toNet += windowMessage(size);
}

void RloginLink::urgent(WindowSize size, std::string& toUser, std::string&) {
    char control = 0;
    if (recv(descriptor(), &control, 1, MSG_OOB) != 1) return;
    const auto byte = static_cast<uint8_t>(control);
    if (byte & windowRequest) {
        sendsWindowSize_ = true;
        std::string message = windowMessage(size);
        // Sent at once, ahead of queued input, so the server sees the size before any reply to typing.
        Console::writeAll(descriptor(), message.data(), message.size());
    }
    if (byte & flushOutput) {
        // Output before the urgent mark is stale: discard up to the mark.
        toUser.clear();
        char buffer[4096];
        int atMark = 0;
        while (ioctl(descriptor(), SIOCATMARK, &atMark) == 0 && !atMark) {
            if (read(descriptor(), buffer, sizeof buffer) <= 0) break;
        }
    }
}

} // namespace tarvik
