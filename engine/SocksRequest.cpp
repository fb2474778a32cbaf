#include "engine/SocksRequest.h"

#include <arpa/inet.h>
#include <utility>

namespace tarvik {

namespace {

// Longest user id or host name accepted in a request; anything longer is an abuse.
constexpr size_t fieldLimit = 255;
constexpr uint8_t connectCommand = 1;

uint8_t at(const std::string& s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

uint16_t portAt(const std::string& s, size_t i) {
    return static_cast<uint16_t>(at(s, i) << 8 | at(s, i + 1));
}

std::string address(int family, const std::string& s, size_t i) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(family, s.data() + i, text, sizeof text);
    return text;
}

} // namespace

SocksRequest::Status SocksRequest::feed(std::string_view bytes, std::string& reply) {
    if (status_ != Status::NeedMore) {
        input_.append(bytes);
        return status_;
    }
    input_.append(bytes);
    status_ = parse(reply);
    return status_;
}

SocksRequest::Status SocksRequest::parse(std::string& reply) {
    if (input_.empty()) return Status::NeedMore;
    version_ = at(input_, 0);
    if (version_ == 4) return parseVersion4();
    if (version_ != 5) return Status::Failed;
    if (!greeted_) {
        Status status = parseGreeting(reply);
        if (status != Status::Ready) return status;
        greeted_ = true;
    }
    return parseRequest5(reply);
}

// VN CD DSTPORT DSTIP USERID NUL, and for 4a a host name NUL after an address 0.0.0.x.
SocksRequest::Status SocksRequest::parseVersion4() {
    if (input_.size() < 8) return Status::NeedMore;
    if (at(input_, 1) != connectCommand) return Status::Failed;
    size_t userEnd = input_.find('\0', 8);
    if (userEnd == std::string::npos)
        return input_.size() - 8 > fieldLimit ? Status::Failed : Status::NeedMore;
    port_ = portAt(input_, 2);
    size_t end = userEnd + 1;
    const bool named = at(input_, 4) == 0 && at(input_, 5) == 0 && at(input_, 6) == 0 && at(input_, 7) != 0;
    if (named) {
        size_t nameEnd = input_.find('\0', end);
        if (nameEnd == std::string::npos)
            return input_.size() - end > fieldLimit ? Status::Failed : Status::NeedMore;
        host_ = input_.substr(end, nameEnd - end);
        end = nameEnd + 1;
    } else {
        host_ = address(AF_INET, input_, 4);
    }
    input_.erase(0, end);
    return host_.empty() ? Status::Failed : Status::Ready;
}

SocksRequest::Status SocksRequest::parseGreeting(std::string& reply) {
    if (input_.size() < 2) return Status::NeedMore;
    const size_t count = at(input_, 1);
    if (input_.size() < 2 + count) return Status::NeedMore;
    bool noAuth = input_.find('\0', 2) < 2 + count;
    input_.erase(0, 2 + count);
    reply += noAuth ? std::string("\x05\x00", 2) : std::string("\x05\xff", 2);
    return noAuth ? Status::Ready : Status::Failed;
}

// VER CMD RSV ATYP DST.ADDR DST.PORT
SocksRequest::Status SocksRequest::parseRequest5(std::string& reply) {
    if (input_.size() < 5) return Status::NeedMore;
    if (at(input_, 0) != 5 || at(input_, 1) != connectCommand) {
        reply += std::string("\x05\x07\x00\x01\x00\x00\x00\x00\x00\x00", 10);
        return Status::Failed;
    }
    size_t addressLength;
    switch (at(input_, 3)) {
    case 1:
        addressLength = 4;
        break;
    case 3:
        addressLength = 1 + at(input_, 4);
        break;
    case 4:
        addressLength = 16;
        break;
    default:
        reply += std::string("\x05\x08\x00\x01\x00\x00\x00\x00\x00\x00", 10);
        return Status::Failed;
    }
    if (input_.size() < 4 + addressLength + 2) return Status::NeedMore;
    switch (at(input_, 3)) {
    case 1:
        host_ = address(AF_INET, input_, 4);
        break;
    case 3:
        host_ = input_.substr(5, addressLength - 1);
        break;
    default:
        host_ = address(AF_INET6, input_, 4);
        break;
    }
    port_ = portAt(input_, 4 + addressLength);
    input_.erase(0, 4 + addressLength + 2);
    return host_.empty() ? Status::Failed : Status::Ready;
}

std::string SocksRequest::takeRemainder() {
    return std::exchange(input_, {});
}

std::string SocksRequest::successReply() const {
    if (version_ == 4) return std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8);
    return std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
}

std::string SocksRequest::failureReply() const {
    if (version_ == 4) return std::string("\x00\x5b\x00\x00\x00\x00\x00\x00", 8);
    // "Host unreachable" covers both a refused and a failed channel.
    return std::string("\x05\x04\x00\x01\x00\x00\x00\x00\x00\x00", 10);
}

} // namespace tarvik
