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

// Opening a channel needs the server's answer; the session is switched to
// blocking for that round trip and back again.
class BlockingScope {
  public:
    explicit BlockingScope(ssh_session session) : session_(session) { ssh_set_blocking(session_, 1); }
    ~BlockingScope() { ssh_set_blocking(session_, 0); }

  private:
    ssh_session session_;
};

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
    bridge.dead = true;
}

void Forwarder::addPollEntries(std::vector<pollfd>& fds) const {
    for (const auto& listener : listeners_)
        fds.push_back({listener.fd, POLLIN, 0});
    for (const auto& bridge : bridges_) {
        short events = 0;
        if (!bridge->socketEof && bridge->toChannel.size() < bridgeLimit) events |= POLLIN;
        if (!bridge->toSocket.empty()) events |= POLLOUT;
        fds.push_back({bridge->fd, events, 0});
    }
}

void Forwarder::service(const std::vector<pollfd>& fds, size_t first) {
    size_t i = first;
    // Entries were appended in this order; bridges added below get theirs next time.
    const size_t listenerCount = listeners_.size();
    const size_t bridgeCount = bridges_.size();
    for (size_t l = 0; l < listenerCount; ++l, ++i)
        if (fds[i].revents & POLLIN) accept(listeners_[l]);
    for (size_t b = 0; b < bridgeCount; ++b, ++i) {
        Bridge& bridge = *bridges_[b];
        if (bridge.dead) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readSocket(bridge);
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
    } else {
        bridge->channel = openDirect(listener.spec.host, listener.spec.hostPort, fd);
        if (!bridge->channel) {
            ::close(fd);
            return;
        }
    }
    bridges_.push_back(std::move(bridge));
}

ssh_channel Forwarder::openDirect(const std::string& host, uint16_t port, int fd) {
    int originPort = 0;
    std::string origin = peerAddress(fd, originPort);
    ssh_channel channel = ssh_channel_new(session_);
    if (!channel) return nullptr;
    BlockingScope blocking(session_);
    if (ssh_channel_open_forward(channel, host.c_str(), port, origin.c_str(), originPort) != SSH_OK) {
        Console::message("forwarding to " + hostPortText(host, port) + " failed: " + ssh_get_error(session_));
        ssh_channel_free(channel);
        return nullptr;
    }
    return channel;
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
        int fd = -1;
        if (rule != remote_.end()) {
            try {
                fd = connectTcp(rule->host, rule->hostPort);
                setNonBlocking(fd, true);
            } catch (const Failure& failure) {
                Console::message(failure.what());
            }
        }
        if (fd < 0) {
            ssh_channel_close(channel);
            ssh_channel_free(channel);
            continue;
        }
        auto bridge = std::make_unique<Bridge>();
        bridge->fd = fd;
        bridge->channel = channel;
        bridges_.push_back(std::move(bridge));
    }
}

ssh_channel Forwarder::openAgentChannel() {
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
    bridge->channel = ssh_channel_new(session_);
    ssh_channel channel = bridge->channel;
    bridges_.push_back(std::move(bridge));
    return channel;
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
    if (status == SocksRequest::Status::Ready)
        bridge.channel = openDirect(bridge.socks->host(), bridge.socks->port(), bridge.fd);
    if (!bridge.channel) {
        // The refusal is small; a blocking-free best effort is enough before closing.
        std::string refusal = status == SocksRequest::Status::Ready ? bridge.socks->failureReply() : "";
        bridge.toSocket += refusal;
        [[maybe_unused]] auto n = write(bridge.fd, bridge.toSocket.data(), bridge.toSocket.size());
        close(bridge);
        return;
    }
    bridge.toSocket += bridge.socks->successReply();
    bridge.toChannel += bridge.socks->takeRemainder();
    bridge.socks.reset();
}

bool Forwarder::pump() {
    bool moved = false;
    for (auto& bridge : bridges_)
        if (!bridge->dead) moved |= pumpBridge(*bridge);
    std::erase_if(bridges_, [](const auto& bridge) { return bridge->dead; });
    return moved;
}

bool Forwarder::pumpBridge(Bridge& bridge) {
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
