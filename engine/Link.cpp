#include "engine/Link.h"

#include "engine/Net.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvik {

namespace {

// Stop reading one side while the other is this far behind, so a fast peer
// cannot make the engine buffer without bound.
constexpr size_t backlogLimit = 1 << 20;
constexpr size_t chunkSize = 16384;

} // namespace

int Link::readFailed(int error) {
    Console::message(std::string("connection lost: ") + std::strerror(error));
    return 1;
}

SocketLink::~SocketLink() {
    close(fd_);
}

bool SocketLink::userEnded() {
    shutdown(fd_, SHUT_WR);
    return true;
}

int relay(Console& console, Link& link) {
    const int net = link.descriptor();
    setNonBlocking(net, true);
    std::string toNet;
    std::string toUser;
    link.started(console.windowSize(), toNet);
    bool userOpen = true;
    bool userEndPending = false;
    char buffer[chunkSize];

    for (;;) {
        if (!toUser.empty()) {
            Console::writeAll(STDOUT_FILENO, toUser.data(), toUser.size());
            toUser.clear();
        }
        if (userEndPending && toNet.empty()) {
            userEndPending = false;
            if (!link.userEnded()) return 0;
        }
        // Protocol replies queue up like typed input: a peer that sends requests
        // and never reads the answers is not read either while the queue is full.
        const bool roomToNet = toNet.size() < backlogLimit;
        pollfd fds[3] = {{net, 0, 0}, {console.resizeDescriptor(), POLLIN, 0}, {STDIN_FILENO, 0, 0}};
        if (roomToNet) fds[0].events |= POLLIN;
        if (roomToNet && link.wantsUrgent()) fds[0].events |= POLLPRI;
        if (!toNet.empty()) fds[0].events |= POLLOUT;
        if (userOpen && roomToNet) fds[2].events = POLLIN;
        if (poll(fds, userOpen ? 3 : 2, -1) < 0) {
            if (errno == EINTR) continue;
            return link.readFailed(errno);
        }
        // Asked even without POLLIN: a resize signal that lands as poll returns
        // has already run its handler, and the new size must go before the input read below.
        if (console.takeResize()) link.resized(console.windowSize(), toNet);
        if (fds[0].revents & POLLPRI) link.urgent(console.windowSize(), toUser, toNet);
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0) {
                link.fromUser(std::string_view(buffer, static_cast<size_t>(n)), toNet);
            } else if (n == 0) {
                userOpen = false;
                userEndPending = true;
            } else if (errno != EINTR && errno != EAGAIN) {
                // The terminal itself is gone: nobody is left to see the session.
                return 0;
            }
        }
        // Without room, a hang-up shows as a failed write instead.
        if (roomToNet && fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(net, buffer, sizeof buffer);
            if (n > 0) {
                link.fromNet(std::string_view(buffer, static_cast<size_t>(n)), toUser, toNet);
            } else if (n == 0) {
                Console::writeAll(STDOUT_FILENO, toUser.data(), toUser.size());
                return 0;
            } else if (errno != EINTR && errno != EAGAIN) {
                Console::writeAll(STDOUT_FILENO, toUser.data(), toUser.size());
                return link.readFailed(errno);
            }
        }
        if (!toNet.empty() && fds[0].revents & POLLOUT) {
            ssize_t n = write(net, toNet.data(), toNet.size());
            if (n > 0)
                toNet.erase(0, static_cast<size_t>(n));
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                return link.readFailed(errno);
        }
    }
}

} // namespace tarvik
