#pragma once

#include "engine/Link.h"
#include "engine/TelnetCodec.h"

namespace tarvik {

class TelnetLink : public SocketLink {
  public:
    TelnetLink(int fd, std::string terminalType, std::string user)
        : SocketLink(fd), codec_(std::move(terminalType), std::move(user)) {}

    void started(WindowSize size, std::string& toNet) override { codec_.start(size, toNet); }
    void fromUser(std::string_view bytes, std::string& toNet) override { codec_.fromUser(bytes, toNet); }
    void fromNet(std::string_view bytes, std::string& toUser, std::string& toNet) override {
        codec_.fromNet(bytes, toUser, toNet);
    }
    void resized(WindowSize size, std::string& toNet) override { codec_.resized(size, toNet); }

  private:
    TelnetCodec codec_;
};

} // namespace tarvik
