#pragma once

#include "engine/Options.h"
#include "engine/SocksRequest.h"

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

    // A channel the server opened to reach our agent; returns null when there is no agent.
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
    struct Bridge {
        int fd = -1;
        ssh_channel channel = nullptr;
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
    ssh_channel openDirect(const std::string& host, uint16_t port, int fd);
    void acceptRemote();
    bool pumpBridge(Bridge& bridge);
    void close(Bridge& bridge);

    ssh_session session_;
    std::vector<Listener> listeners_;
    std::vector<ForwardSpec> remote_;
    std::vector<std::unique_ptr<Bridge>> bridges_;
};

} // namespace tarvik
