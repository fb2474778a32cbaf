#include "core/Connection.h"

#include "core/Unicode.h"

namespace tarvik {

std::string Connection::title() const {
    // Line breaks count as content here: only blank-looking names fall back to the host.
    if (Unicode::anyScalar(name, [](char32_t c) { return !Unicode::isSpaceSeparator(c); })) return name;
    return host;
}

std::string Connection::address() const {
    std::string text;
    if (!username.empty()) text += username + "@";
    text += host;
    if (!port.empty() && port != "22") text += ":" + port;
    return text;
}

} // namespace tarvik
