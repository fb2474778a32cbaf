#pragma once

#include "engine/Link.h"

namespace tarvik {

// Rlogin after the handshake: data is relayed unchanged, and the server's
// urgent control byte asks for window sizes or a flush of pending output.
class RloginLink : public SocketLink {
  public:
    explicit RloginLink(int fd) : SocketLink(fd) {}

    // Sends the handshake and waits for the server's verdict; throws Failure
    // with the server's message when it refuses.
    void handshake(const std::string& localUser, const std::string& remoteUser, const std::string& terminal,
                   unsigned speed);

    // Binds fd to a reserved source port when the process may, as rlogind
    // expects; other ports are left to the system.
    static void bindReservedPort(int fd, int family);

    void resized(WindowSize size, std::string& toNet) override;
    bool wantsUrgent() const override { return true; }
    void urgent(WindowSize size, std::string& toUser, std::string& toNet) override;

    // The window-size message: 0xff 0xff 's' 's', then rows, columns, and pixel sizes of zero.
    static std::string windowMessage(WindowSize size);

  private:
    bool sendsWindowSize_ = false;
};

} // namespace tarvik
