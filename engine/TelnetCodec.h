#pragma once

#include "engine/Console.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// The Telnet layer between the terminal and the socket: escapes user data,
// strips commands from server data (they may be split anywhere across reads)
// and negotiates options with the loop-free rules of RFC 1143.
class TelnetCodec {
  public:
    enum Byte : uint8_t {
        Se = 240,
        Nop = 241,
        Sb = 250,
        Will = 251,
        Wont = 252,
        Do = 253,
        Dont = 254,
        Iac = 255
    };
    enum Option : uint8_t { Binary = 0, Echo = 1, Sga = 3, TerminalType = 24, Naws = 31, NewEnviron = 39 };

    TelnetCodec(std::string terminalType, std::string user);

    // The options we offer and ask for as soon as the connection is up.
    void start(WindowSize size, std::string& toNet);
    void fromUser(std::string_view bytes, std::string& toNet) const;
    void fromNet(std::string_view bytes, std::string& toUser, std::string& toNet);
    void resized(WindowSize size, std::string& toNet);

    bool localEnabled(uint8_t option) const { return us_[option] == State::Yes; }
    bool remoteEnabled(uint8_t option) const { return him_[option] == State::Yes; }

  private:
    enum class State : uint8_t { No, Yes, WantNo, WantYes };
    enum class Parse : uint8_t { Data, Iac, Verb, Sub, SubIac };

    bool supportsLocal(uint8_t option) const;
    static bool supportsRemote(uint8_t option);
    void request(bool local, uint8_t option, std::string& toNet);
    void received(uint8_t verb, uint8_t option, std::string& toNet);
    void enabledLocally(uint8_t option, std::string& toNet);
    void subnegotiation(std::string& toNet);
    void sendSize(std::string& toNet) const;

    std::string terminalType_;
    std::string user_;
    WindowSize size_;
    std::array<State, 256> us_{};
    std::array<State, 256> him_{};
    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;
    bool afterCr_ = false;
    bool subOverflow_ = false;
    std::string sub_;
};

} // namespace tarvik
