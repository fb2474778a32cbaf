#pragma once

#include "engine/Link.h"

namespace tarvik {

// Rlogin after the handshake: data is relayed unchanged, and the server's
// urgent control byte asks for window sizes or a flush of pending output.
class RloginLink : public SocketLink {
  public:
    explicit RloginLink(int fd) : SocketLink(fd) {}

    // Sends the handshake and waits at most `limitSeconds` for the server's
    // verdict; throws Failure with the server's message (control characters
    // removed) when it refuses, or when it does not answer in time.
    void handshake(const std::string& localUser, const std::string& remoteUser, const std::string& terminal,
                   unsigned speed, unsigned limitSeconds);

    // Binds fd to a reserved source port when the process may, as rlogind
    // expects; other ports are left to the system.
    static void bindReservedPort(int fd, int family);

    void resized(WindowSize size, std::string& toNet) override;
    bool wantsUrgent() const override { return true; }
    void urgent(WindowSize size, std::string& toUser, std::string& toNet) override;

    // The window-size message: 0xff 0xff 's' 's', then rows, columns, and pixel sizes of zero.
    static std::string windowMessage(WindowSize size);

    // The text with control characters (C0, DEL, C1) and malformed UTF-8
    // removed, so a server's message cannot drive the terminal.
    static std::string printable(std::string_view text);

  private:
    bool sendsWindowSize_ = false;
};

} // namespace tarvik
