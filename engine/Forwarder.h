#pragma once

#include "engine/Options.h"
#include "engine/SocksRequest.h"
#include "engine/TcpConnector.h"

#include <chrono>
#include <libssh/libssh.h>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace tarvik {

// Port forwardings and forwarded agent connections of one SSH session: each
// local socket is bridged to one channel, serviced from the session's poll loop
// without ever blocking on a slow peer.
class Forwarder {
  public:
    // Opens the local listeners and asks the server for the remote ones.
    // Throws Failure when a listener cannot be set up.
    Forwarder(ssh_session session, const std::vector<ForwardSpec>& forwards);
    ~Forwarder();
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    // Agent channels are accepted only once agent forwarding was asked for and granted.
    void allowAgent() { agentAllowed_ = true; }
    // A channel the server opened to reach our agent. Null, which refuses the
    // open, when forwarding was not granted, too many are open, or there is no agent.
    ssh_channel openAgentChannel();

    // Appends the descriptors to wait for; service() reads the results from `first` on.
    void addPollEntries(std::vector<pollfd>& fds) const;
    void service(const std::vector<pollfd>& fds, size_t first);

    // Moves data between channels and sockets. Returns true if anything moved.
    bool pump();

  private:
    struct Listener {
        int fd;
        ForwardSpec spec;
    };
    // A bridge waits for the server to open its channel (local and dynamic
    // forwardings) or for the local connection to be made (remote ones);
    // neither wait holds up the session.
    enum class Stage { Open, Opening, Connecting };
    using Clock = std::chrono::steady_clock;

    struct Bridge {
        int fd = -1;
        ssh_channel channel = nullptr;
        Stage stage = Stage::Open;
        Clock::time_point deadline;
        std::string host; // where the channel or the connection leads
        uint16_t port = 0;
        std::string origin;
        int originPort = 0;
        std::unique_ptr<TcpConnector> connector;
        bool agent = false;
        std::unique_ptr<SocksRequest> socks;
        std::string toSocket;
        std::string toChannel;
        bool socketEof = false;
        bool channelEof = false;
        bool eofSent = false;
        bool shutDown = false;
        bool dead = false;
    };

    void accept(const Listener& listener);
    void readSocket(Bridge& bridge);
    void socksProgress(Bridge& bridge, std::string_view bytes);
    bool startOpening(Bridge& bridge, const std::string& host, uint16_t port);
    bool continueOpening(Bridge& bridge);
    void openFailed(Bridge& bridge, const std::string& reason);
    void connected(Bridge& bridge);
    void acceptRemote();
    bool pumpBridge(Bridge& bridge);
    void close(Bridge& bridge);
    // New bridges wait here until the next pump: libssh's packet handling
    // inside any channel call may run the agent callback, which must never
    // change bridges_ while it is being walked.
    void adopt(std::unique_ptr<Bridge> bridge) { pending_.push_back(std::move(bridge)); }
    bool adoptPending();
    size_t count(bool (*matches)(const Bridge&)) const;

    ssh_session session_;
    std::vector<Listener> listeners_;
    std::vector<ForwardSpec> remote_;
    std::vector<std::unique_ptr<Bridge>> bridges_;
    std::vector<std::unique_ptr<Bridge>> pending_;
    bool agentAllowed_ = false;
};

} // namespace tarvik
