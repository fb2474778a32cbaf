#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvik {

// Connects to host:port over IPv4 or IPv6 (names through the resolver),
// trying each address in turn. `prepare` may bind the socket before connecting.
// Returns a blocking descriptor; throws Failure with the text
// "cannot connect to HOST:PORT: reason" and exit status 1.
int connectTcp(const std::string& host, uint16_t port,
               const std::function<void(int fd, int family)>& prepare = {});

// Listening sockets on every address of `address` (empty: the loopback
// interface, "*": all interfaces). Throws Failure naming the address.
std::vector<int> listenTcp(const std::string& address, uint16_t port);

// The port a bound socket ended up on.
uint16_t boundPort(int fd);

void setNonBlocking(int fd, bool on);

// "host:port" with IPv6 literals in brackets, as users write them.
std::string hostPortText(const std::string& host, uint16_t port);

} // namespace tarvik
