#pragma once

#include "core/RawValue.h"

#include <array>
#include <optional>
#include <string_view>

namespace tarvik {

enum class ConnectionProtocol { raw, telnet, rlogin, SSH, serial };

inline constexpr std::array<ConnectionProtocol, 5> allConnectionProtocols{
    ConnectionProtocol::raw, ConnectionProtocol::telnet, ConnectionProtocol::rlogin, ConnectionProtocol::SSH,
    ConnectionProtocol::serial};

std::string_view rawValue(ConnectionProtocol protocol);
std::optional<ConnectionProtocol> connectionProtocolFromRawValue(std::string_view raw);

// The port a profile gets when the user picks this connection type.
std::string_view defaultPort(ConnectionProtocol protocol);

} // namespace tarvik

template <>
struct std::hash<tarvik::ConnectionProtocol> : tarvik::RawValueHash<tarvik::ConnectionProtocol> {};
