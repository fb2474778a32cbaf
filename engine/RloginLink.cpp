#include "engine/RloginLink.h"

#include "engine/Failure.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
constexpr size_t reasonLimit = 4096;

using Clock = std::chrono::steady_clock;

// One read that waits no later than `end`; 0 at end of stream, -1 on error or when the time is up.
ssize_t readBefore(int fd, char* buffer, size_t size, Clock::time_point end) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd waitFor{fd, POLLIN, 0};
        int ready = poll(&waitFor, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            errno = ready == 0 ? ETIMEDOUT : errno;
            return -1;
        }
        ssize_t n = read(fd, buffer, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return n;
    }
}

// Length of the UTF-8 sequence starting at text[i], or 0 when it is malformed.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xe  ? 3
                          : (lead >> 3) == 0x1e ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<uint8_t>(text[i + k]) & 0xc0) != 0x80) return 0;
    return length;
}

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

std::string RloginLink::printable(std::string_view text) {
    std::string clean;
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequenceLength(text, i);
        if (length == 0) {
            ++i;
            continue;
        }
        const auto lead = static_cast<uint8_t>(text[i]);
        const auto next = length > 1 ? static_cast<uint8_t>(text[i + 1]) : 0;
        const bool control =
            (length == 1 && (lead < 0x20 || lead == 0x7f)) || (lead == 0xc2 && next >= 0x80 && next <= 0x9f);
        if (!control) clean.append(text.substr(i, length));
        i += length;
    }
    return clean;
}

void RloginLink::handshake(const std::string& localUser, const std::string& remoteUser,
                           const std::string& terminal, unsigned speed, unsigned limitSeconds) {
    std::string hello;
    hello += '\0';
    hello += localUser + '\0';
    hello += remoteUser + '\0';
    hello += terminal + "/" + std::to_string(speed) + '\0';
    Console::writeAll(descriptor(), hello.data(), hello.size());

    // The server answers with one NUL byte, or with a message explaining its refusal.
    const auto end = Clock::now() + std::chrono::seconds(limitSeconds);
    char c;
    ssize_t n = readBefore(descriptor(), &c, 1, end);
    if (n < 0 && errno == ETIMEDOUT)
        throw Failure("the rlogin server did not answer within " + std::to_string(limitSeconds) + " seconds");
    if (n == 1 && c == '\0') return;
    if (n <= 0) throw Failure("connection closed by the rlogin server");
    // The message ends with its line, the connection or the time limit, whichever comes first.
    std::string reason;
    char buffer[512];
    if (c != '\001') reason += c;
    while (reason.find('\n') == std::string::npos && reason.size() < reasonLimit &&
           (n = readBefore(descriptor(), buffer, sizeof buffer, end)) > 0)
        reason.append(buffer, static_cast<size_t>(n));
    reason = printable(reason.substr(0, reason.find('\n')));
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

void RloginLink::urgent(WindowSize size, std::string& toUser, std::string& toNet) {
    char control = 0;
    if (recv(descriptor(), &control, 1, MSG_OOB) != 1) return;
    const auto byte = static_cast<uint8_t>(control);
    if (byte & windowRequest) {
        sendsWindowSize_ = true;
        // Queued like everything else: a peer that never reads must not stall the session.
        toNet += windowMessage(size);
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
