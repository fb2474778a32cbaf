#include "core/Validation.h"

#include "core/AppError.h"
#include "core/Connection.h"
#include "core/Unicode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

namespace {

const char* const hostMessage = "Enter a host name, SSH alias or IP address without spaces or user@.";
const char* const usernameMessage = "Invalid username: spaces and control characters are not allowed.";
const char* const portMessage = "Port must be a number from 1 to 65535.";
const char* const keyFileMessage = "Invalid key file path.";
const char* const serialSpeedMessage = "Invalid serial speed (50\u20134000000 baud).";
const char* const terminalTypeMessage = "Invalid terminal type.";
const char* const tunnelTextMessage = "Enter a tunnel address without spaces.";
const char* const tunnelFormatMessage =
    "Tunnel format: [bind_address:]port:host:hostport; SOCKS: [bind_address:]port.";

bool isAsciiAlphanumeric(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

bool isHostScalar(char32_t c) {
    return isAsciiAlphanumeric(c) || std::u32string_view(U".-_:[]%").find(c) != std::u32string_view::npos;
}

bool isUsernameScalar(char32_t c) {
    return isAsciiAlphanumeric(c) || std::u32string_view(U"._-@\\").find(c) != std::u32string_view::npos;
}

bool isTerminalTypeScalar(char32_t c) {
    return isAsciiAlphanumeric(c) || c == U'-' || c == U'_';
}

// Anything that would split or end an argument, or be mistaken for a separator.
bool isBlankOrNul(char32_t c) {
    return c == 0 || Unicode::isWhiteSpaceOrLineBreak(c);
}

bool startsWithHyphen(std::string_view text) {
    return !text.empty() && text.front() == '-';
}

void require(bool condition, const char* message) {
    if (!condition) throw AppError(message);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits with an optional sign, saturating so that huge values stay out of range.
bool parseDecimal(std::string_view text, std::int64_t& value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    constexpr std::int64_t ceiling = INT64_MAX / 10 - 10;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (!isDigit(c)) return false;
        if (magnitude < ceiling) magnitude = magnitude * 10 + (c - '0');
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

bool validHost(const Connection& c) {
    if (c.protocolKind == ConnectionProtocol::serial)
        return c.host.starts_with("/dev/") && !Unicode::anyScalar(c.host, isBlankOrNul);
    return !c.host.empty() && !startsWithHyphen(c.host) && Unicode::allScalars(c.host, isHostScalar);
}

bool validUsername(const std::string& username) {
    return !startsWithHyphen(username) && Unicode::allScalars(username, isUsernameScalar);
}

bool validSerialSpeed(const std::string& speed) {
    std::int64_t value = 0;
    return parseDecimal(speed, value) && value >= 50 && value <= 4000000;
}

bool validTerminalType(const std::string& type) {
    return !type.empty() && Unicode::allScalars(type, isTerminalTypeScalar);
}

struct TunnelParts {
    std::vector<std::string> parts;
    bool unclosedBracket = false;
};

// Colons inside brackets belong to an IPv6 literal, not to the rule's syntax.
TunnelParts splitTunnel(std::string_view text) {
    TunnelParts result;
    std::string current;
    bool insideBrackets = false;
    for (char c : text) {
        if (c == '[')
            insideBrackets = true;
        else if (c == ']')
            insideBrackets = false;
        if (c == ':' && !insideBrackets) {
            result.parts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    result.parts.push_back(std::move(current));
    result.unclosedBracket = insideBrackets;
    return result;
}

bool validTunnelShape(ForwardKind kind, const TunnelParts& split) {
    if (split.unclosedBracket) return false;
    const auto& p = split.parts;
    const std::size_t n = p.size();
    if (kind == ForwardKind::SOCKS) return (n == 1 || n == 2) && validPort(p[n - 1]);
    return (n == 3 || n == 4) && validPort(p[n - 3]) && !p[n - 2].empty() && validPort(p[n - 1]);
}

void checkForward(const ForwardRule& rule) {
    const std::string& text = rule.specification;
    require(!text.empty() && !startsWithHyphen(text) && !Unicode::anyScalar(text, isBlankOrNul),
            tunnelTextMessage);
    require(validTunnelShape(rule.kind, splitTunnel(text)), tunnelFormatMessage);
}

void trimFields(Connection& c) {
    for (std::string* field : {&c.name, &c.host, &c.username, &c.port, &c.identityFile, &c.group})
        *field = Unicode::trimmed(*field, Unicode::isWhiteSpaceOrLineBreak);
}

} // namespace

bool validPort(std::string_view text) {
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
    std::int64_t value = 0;
    return parseDecimal(text, value) && value >= 1 && value <= 65535;
}

Connection Connection::validated() const {
    Connection copy = *this;
    trimFields(copy);
    require(validHost(copy), hostMessage);
    require(validUsername(copy.username), usernameMessage);
    require(copy.port.empty() || validPort(copy.port), portMessage);
    require(copy.identityFile.find_first_of(std::string_view("\0\n\r", 3)) == std::string::npos,
            keyFileMessage);
    if (copy.protocolKind == ConnectionProtocol::serial)
        require(validSerialSpeed(copy.serialBaud), serialSpeedMessage);
    require(validTerminalType(copy.terminalType), terminalTypeMessage);
    for (const ForwardRule& rule : copy.forwards)
        checkForward(rule);
    return copy;
}

} // namespace tarvik
