#include "core/ConnectionProtocol.h"

namespace tarvik {

std::string_view rawValue(ConnectionProtocol protocol) {
    switch (protocol) {
    case ConnectionProtocol::raw:
        return "Raw";
    case ConnectionProtocol::telnet:
        return "Telnet";
    case ConnectionProtocol::rlogin:
        return "Rlogin";
    case ConnectionProtocol::SSH:
        return "SSH";
    case ConnectionProtocol::serial:
        return "Serial";
    }
    return "SSH";
}

std::optional<ConnectionProtocol> connectionProtocolFromRawValue(std::string_view raw) {
    return caseWithRawValue(allConnectionProtocols, raw);
}

std::string_view defaultPort(ConnectionProtocol protocol) {
    switch (protocol) {
    case ConnectionProtocol::raw:
    case ConnectionProtocol::telnet:
        return "23";
    case ConnectionProtocol::rlogin:
        return "513";
    case ConnectionProtocol::SSH:
    case ConnectionProtocol::serial:
        return "22";
    }
    return "22";
}

} // namespace tarvik
