#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// The client side of a SOCKS 4, 4a or 5 CONNECT request, fed as bytes arrive.
// Only "no authentication" is offered for SOCKS 5.
class SocksRequest {
  public:
    enum class Status { NeedMore, Ready, Failed };

    // `reply` receives what must go back to the client now (the SOCKS 5
    // method choice, or the refusal of a malformed request).
    Status feed(std::string_view bytes, std::string& reply);

    const std::string& host() const { return host_; }
    uint16_t port() const { return port_; }
    // Bytes the client sent after its request: the start of the stream itself.
    std::string takeRemainder();

    std::string successReply() const;
    std::string failureReply() const;

  private:
    Status parse(std::string& reply);
    Status parseVersion4();
    Status parseGreeting(std::string& reply);
    Status parseRequest5(std::string& reply);

    std::string input_;
    int version_ = 0;
    bool greeted_ = false;
    std::string host_;
    uint16_t port_ = 0;
    Status status_ = Status::NeedMore;
};

} // namespace tarvik
