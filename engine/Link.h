#pragma once

#include "engine/Console.h"

#include <string>
#include <string_view>

namespace tarvik {

// One connection relayed to the terminal: a descriptor plus the encoding the
// protocol puts on the bytes. The default relays bytes unchanged.
class Link {
  public:
    virtual ~Link() = default;

    virtual int descriptor() const = 0;

    // Anything the protocol sends before the user types.
    virtual void started(WindowSize, std::string& /*toNet*/) {}
    virtual void fromUser(std::string_view bytes, std::string& toNet) { toNet.append(bytes); }
    // Session output for the terminal, plus protocol replies for the peer.
    virtual void fromNet(std::string_view bytes, std::string& toUser, std::string& /*toNet*/) {
        toUser.append(bytes);
    }
    virtual void resized(WindowSize, std::string& /*toNet*/) {}

    // Out-of-band data (an urgent TCP byte); only links that ask get it.
    virtual bool wantsUrgent() const { return false; }
    virtual void urgent(WindowSize, std::string& /*toUser*/, std::string& /*toNet*/) {}

    // The user's side reached end of input and all typed bytes were sent.
    // Returns true to keep running until the peer closes.
    virtual bool userEnded() { return false; }

    // Exit status and message for a read error on the descriptor.
    virtual int readFailed(int error);
};

// Relays bytes between the terminal and the link until the peer closes.
// Returns the exit status.
int relay(Console& console, Link& link);

// A plain TCP connection.
class SocketLink : public Link {
  public:
    explicit SocketLink(int fd) : fd_(fd) {}
    ~SocketLink() override;
    int descriptor() const override { return fd_; }
    bool userEnded() override;

  private:
    int fd_;
};

} // namespace tarvik
