#include "engine/Forwarder.h"

#include "engine/Console.h"
#include "engine/Failure.h"
#include "engine/Net.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarvik {

namespace {

// Per direction, the most one bridge buffers before it stops reading the
// sending side; a fast sender then waits for a slow receiver.
constexpr size_t bridgeLimit = 256 * 1024;
constexpr size_t chunkSize = 16384;

// A server (or a local client of a forwarded port) must not be able to pile
// up half-open forwardings: past this many, listeners wait before accepting.
constexpr size_t pendingOpenLimit = 16;
// How long a channel open or an outgoing connection may take.
constexpr auto setUpTimeout = std::chrono::seconds(30);
// The agent answers one request at a time; a handful of channels covers any
// honest use and bounds what a server can make us hold.
constexpr size_t agentChannelLimit = 8;

std::string peerAddress(int fd, int& port) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    char text[INET6_ADDRSTRLEN] = "127.0.0.1";
    port = 0;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0) {
        if (storage.ss_family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
            inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
            port = ntohs(a->sin6_port);
        } else if (storage.ss_family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(&storage);
            inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
            port = ntohs(a->sin_port);
        }
    }
    return text;
}

} // namespace

Forwarder::Forwarder(ssh_session session, const std::vector<ForwardSpec>& forwards) : session_(session) {
    for (const ForwardSpec& spec : forwards) {
        if (spec.kind == ForwardKind::Remote) {
            int bound = 0;
            // An empty bind address leaves the choice to the server (its loopback by default).
            const char* address = spec.bindAddress.empty() ? "localhost" : spec.bindAddress.c_str();
            if (ssh_channel_listen_forward(session_, address, spec.port, &bound) != SSH_OK) {
                Console::message("remote port forwarding of " + hostPortText(address, spec.port) +
                                 " failed: " + ssh_get_error(session_));
                continue;
            }
            ForwardSpec granted = spec;
            if (spec.port == 0) granted.port = static_cast<uint16_t>(bound);
            remote_.push_back(granted);
            continue;
        }
        for (int fd : listenTcp(spec.bindAddress, spec.port))
            listeners_.push_back({fd, spec});
    }
}

Forwarder::~Forwarder() {
    // Closing channels runs libssh, whose callbacks may still ask for agent channels.
    agentAllowed_ = false;
    adoptPending();
    for (auto& bridge : bridges_)
        close(*bridge);
    for (auto& listener : listeners_)
        ::close(listener.fd);
}

void Forwarder::close(Bridge& bridge) {
    if (bridge.channel) {
        ssh_channel_close(bridge.channel);
        ssh_channel_free(bridge.channel);
        bridge.channel = nullptr;
    }
    if (bridge.fd >= 0) ::close(bridge.fd);
    bridge.fd = -1;
    bridge.connector.reset();
    bridge.dead = true;
}

void Forwarder::addPollEntries(std::vector<pollfd>& fds) const {
    const bool acceptMore = count([](const Bridge& b) {
                                return b.stage != Stage::Open || b.socks != nullptr;
                            }) < pendingOpenLimit;
    for (const auto& listener : listeners_)
        fds.push_back({listener.fd, static_cast<short>(acceptMore ? POLLIN : 0), 0});
    for (const auto& bridge : bridges_) {
        if (bridge->stage == Stage::Connecting) {
            fds.push_back({bridge->connector->descriptor(), POLLOUT, 0});
            continue;
        }
        short events = 0;
        if (!bridge->socketEof && bridge->toChannel.size() < bridgeLimit) events |= POLLIN;
        if (!bridge->toSocket.empty()) events |= POLLOUT;
        // An opening bridge is not watched at all: a hang-up would wake every poll.
        fds.push_back({bridge->stage == Stage::Opening ? -1 : bridge->fd, events, 0});
    }
}

void Forwarder::service(const std::vector<pollfd>& fds, size_t first) {
    size_t i = first;
    // Entries were appended in this order; new bridges wait in pending_ until the next pump.
    const size_t listenerCount = listeners_.size();
    const size_t bridgeCount = bridges_.size();
    for (size_t l = 0; l < listenerCount; ++l, ++i)
        if (fds[i].revents & POLLIN) accept(listeners_[l]);
    for (size_t b = 0; b < bridgeCount; ++b, ++i) {
        Bridge& bridge = *bridges_[b];
        if (bridge.dead) continue;
        if (bridge.stage == Stage::Connecting) {
            if (fds[i].revents & (POLLOUT | POLLHUP | POLLERR)) connected(bridge);
        } else if (bridge.stage == Stage::Open && fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            readSocket(bridge);
        }
    }
    acceptRemote();
}

void Forwarder::accept(const Listener& listener) {
    int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    auto bridge = std::make_unique<Bridge>();
    bridge->fd = fd;
    if (listener.spec.kind == ForwardKind::Dynamic) {
        bridge->socks = std::make_unique<SocksRequest>();
    } else if (!startOpening(*bridge, listener.spec.host, listener.spec.hostPort)) {
        ::close(fd);
        return;
    }
    adopt(std::move(bridge));
}

bool Forwarder::startOpening(Bridge& bridge, const std::string& host, uint16_t port) {
    bridge.channel = ssh_channel_new(session_);
    if (!bridge.channel) return false;
    bridge.host = host;
    bridge.port = port;
    bridge.origin = peerAddress(bridge.fd, bridge.originPort);
    bridge.stage = Stage::Opening;
    bridge.deadline = Clock::now() + setUpTimeout;
    return true;
}

// The session is non-blocking here, so each call sends the request or looks
// for the answer and returns at once.
bool Forwarder::continueOpening(Bridge& bridge) {
    const int rc = ssh_channel_open_forward(bridge.channel, bridge.host.c_str(), bridge.port,
                                            bridge.origin.c_str(), bridge.originPort);
    if (rc == SSH_AGAIN) {
        if (Clock::now() < bridge.deadline) return false;
        openFailed(bridge, "the server did not answer in time");
        return true;
    }
    if (rc != SSH_OK) {
        openFailed(bridge, ssh_get_error(session_));
        return true;
    }
    bridge.stage = Stage::Open;
    if (bridge.socks) {
        bridge.toSocket += bridge.socks->successReply();
        bridge.toChannel += bridge.socks->takeRemainder();
        bridge.socks.reset();
    }
    return true;
}

void Forwarder::openFailed(Bridge& bridge, const std::string& reason) {
    Console::message("forwarding to " + hostPortText(bridge.host, bridge.port) + " failed: " + reason);
    if (bridge.socks) {
        // The refusal is small; a blocking-free best effort is enough before closing.
        std::string refusal = bridge.toSocket + bridge.socks->failureReply();
        [[maybe_unused]] auto n = write(bridge.fd, refusal.data(), refusal.size());
    }
    close(bridge);
}

void Forwarder::connected(Bridge& bridge) {
    switch (bridge.connector->progress()) {
    case TcpConnector::State::Connecting:
        return;
    case TcpConnector::State::Failed:
        Console::message("cannot connect to " + hostPortText(bridge.host, bridge.port) + ": " +
                         bridge.connector->reason());
        close(bridge);
        return;
    case TcpConnector::State::Connected:
        bridge.fd = bridge.connector->release();
        bridge.connector.reset();
        bridge.stage = Stage::Open;
        return;
    }
}

void Forwarder::acceptRemote() {
    if (remote_.empty()) return;
    for (;;) {
        int port = 0;
        char* originator = nullptr;
        int originatorPort = 0;
        ssh_channel channel = ssh_channel_open_forward_port(session_, 0, &port, &originator, &originatorPort);
        ssh_string_free_char(originator);
        if (!channel) return;
        auto rule = std::find_if(remote_.begin(), remote_.end(),
                                 [&](const ForwardSpec& s) { return s.port == port; });
        auto bridge = std::make_unique<Bridge>();
        bridge->channel = channel;
        if (rule != remote_.end()) {
            bridge->host = rule->host;
            bridge->port = rule->hostPort;
            try {
                bridge->connector = std::make_unique<TcpConnector>(rule->host, rule->hostPort);
            } catch (const Failure& failure) {
                Console::message(failure.what());
            }
        }
        if (!bridge->connector || bridge->connector->state() == TcpConnector::State::Failed) {
            if (bridge->connector)
                Console::message("cannot connect to " + hostPortText(bridge->host, bridge->port) + ": " +
                                 bridge->connector->reason());
            close(*bridge);
            continue;
        }
        bridge->stage = Stage::Connecting;
        bridge->deadline = Clock::now() + setUpTimeout;
        adopt(std::move(bridge));
    }
}

ssh_channel Forwarder::openAgentChannel() {
    if (!agentAllowed_) return nullptr;
    if (count([](const Bridge& b) { return b.agent; }) >= agentChannelLimit) return nullptr;
    const char* path = std::getenv("SSH_AUTH_SOCK");
    if (!path || !*path) return nullptr;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || std::strlen(path) >= sizeof address.sun_path) {
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    std::strcpy(address.sun_path, path);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    setNonBlocking(fd, true);
    auto bridge = std::make_unique<Bridge>();
    bridge->fd = fd;
    bridge->agent = true;
    bridge->channel = ssh_channel_new(session_);
    if (!bridge->channel) {
        ::close(fd);
        return nullptr;
    }
    ssh_channel channel = bridge->channel;
    adopt(std::move(bridge));
    return channel;
}

bool Forwarder::adoptPending() {
    if (pending_.empty()) return false;
    for (auto& bridge : pending_)
        bridges_.push_back(std::move(bridge));
    pending_.clear();
    return true;
}

size_t Forwarder::count(bool (*matches)(const Bridge&)) const {
    size_t n = 0;
    for (const auto* list : {&bridges_, &pending_})
        for (const auto& bridge : *list)
            if (!bridge->dead && matches(*bridge)) ++n;
    return n;
}

void Forwarder::readSocket(Bridge& bridge) {
    char buffer[chunkSize];
    ssize_t n = read(bridge.fd, buffer, sizeof buffer);
    if (n > 0) {
        if (bridge.socks)
            socksProgress(bridge, std::string_view(buffer, static_cast<size_t>(n)));
        else
            bridge.toChannel.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
        bridge.socketEof = true;
        if (bridge.socks) close(bridge);
    } else if (errno != EAGAIN && errno != EINTR) {
        close(bridge);
    }
}

void Forwarder::socksProgress(Bridge& bridge, std::string_view bytes) {
    std::string reply;
    auto status = bridge.socks->feed(bytes, reply);
    bridge.toSocket += reply;
    if (status == SocksRequest::Status::NeedMore) return;
    if (status == SocksRequest::Status::Ready &&
        startOpening(bridge, bridge.socks->host(), bridge.socks->port()))
        return;
    if (status == SocksRequest::Status::Ready) bridge.toSocket += bridge.socks->failureReply();
    [[maybe_unused]] auto n = write(bridge.fd, bridge.toSocket.data(), bridge.toSocket.size());
    close(bridge);
}

bool Forwarder::pump() {
    bool moved = adoptPending();
    // By index, and new bridges only join between passes: see adopt().
    for (size_t i = 0; i < bridges_.size(); ++i)
        if (!bridges_[i]->dead) moved |= pumpBridge(*bridges_[i]);
    std::erase_if(bridges_, [](const auto& bridge) { return bridge->dead; });
    return adoptPending() || moved;
}

bool Forwarder::pumpBridge(Bridge& bridge) {
    if (bridge.stage == Stage::Opening) {
        if (!continueOpening(bridge)) return false;
        if (bridge.dead) return true;
    }
    if (bridge.stage == Stage::Connecting) {
        if (Clock::now() >= bridge.deadline) {
            Console::message("cannot connect to " + hostPortText(bridge.host, bridge.port) + ": timed out");
            close(bridge);
            return true;
        }
        return false;
    }
    bool moved = false;
    if (bridge.channel && !bridge.channelEof && bridge.toSocket.size() < bridgeLimit) {
        char buffer[chunkSize];
        int n = ssh_channel_read_nonblocking(bridge.channel, buffer, sizeof buffer, 0);
        if (n > 0) {
            bridge.toSocket.append(buffer, static_cast<size_t>(n));
            moved = true;
        } else if (n == SSH_EOF || (n == 0 && ssh_channel_is_eof(bridge.channel))) {
            bridge.channelEof = true;
        } else if (n == SSH_ERROR) {
            // A channel the server already closed still hands over what it buffered first.
            bridge.channelEof = true;
        }
    }
    if (!bridge.toSocket.empty()) {
        ssize_t n = write(bridge.fd, bridge.toSocket.data(), bridge.toSocket.size());
        if (n > 0) {
            bridge.toSocket.erase(0, static_cast<size_t>(n));
            moved = true;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            close(bridge);
            return true;
        }
    }
    if (bridge.channelEof && bridge.toSocket.empty() && !bridge.shutDown) {
        shutdown(bridge.fd, SHUT_WR);
        bridge.shutDown = true;
    }
    if (bridge.channel && !bridge.toChannel.empty()) {
        uint32_t window = ssh_channel_window_size(bridge.channel);
        uint32_t size = static_cast<uint32_t>(std::min<size_t>(bridge.toChannel.size(), window));
        if (size > 0) {
            int n = ssh_channel_write(bridge.channel, bridge.toChannel.data(), size);
            if (n == SSH_ERROR) {
                close(bridge);
                return true;
            }
            if (n > 0) {
                bridge.toChannel.erase(0, static_cast<size_t>(n));
                moved = true;
            }
        }
    }
    if (bridge.channel && bridge.socketEof && bridge.toChannel.empty() && !bridge.eofSent) {
        ssh_channel_send_eof(bridge.channel);
        bridge.eofSent = true;
    }
    const bool finished = bridge.eofSent && bridge.shutDown;
    const bool closed = bridge.channel && ssh_channel_is_closed(bridge.channel) && bridge.toSocket.empty();
    if (finished || closed) close(bridge);
    return moved;
}

} // namespace tarvik
