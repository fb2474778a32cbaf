#include "engine/Console.h"
#include "engine/Failure.h"
#include "engine/LocalUser.h"
#include "engine/Net.h"
#include "engine/Options.h"
#include "engine/RloginLink.h"
#include "engine/SerialLink.h"
#include "engine/SshClient.h"
#include "engine/TelnetLink.h"

#include <cstdio>
#include <memory>

using namespace tarvik;

namespace {

constexpr const char* version = "skiv 0.85";
// Rlogin carries a line speed the server shows to programs; a pseudo-terminal has none.
constexpr unsigned rloginSpeed = 38400;

int runLink(Console& console, const Options& options) {
    std::unique_ptr<Link> link;
    switch (options.protocol) {
    case Protocol::Raw:
        link = std::make_unique<SocketLink>(connectTcp(options.host, options.effectivePort()));
        break;
    case Protocol::Telnet:
        link = std::make_unique<TelnetLink>(connectTcp(options.host, options.effectivePort()), terminalType(),
                                            options.user);
        break;
    case Protocol::Rlogin: {
        auto rlogin = std::make_unique<RloginLink>(
            connectTcp(options.host, options.effectivePort(), RloginLink::bindReservedPort));
        std::string local = localUserName();
        rlogin->handshake(local, options.user.empty() ? local : options.user, terminalType(), rloginSpeed,
                          options.timeoutSeconds);
        link = std::move(rlogin);
        break;
    }
    case Protocol::Serial:
        link = std::make_unique<SerialLink>(options.host, options.serial);
        break;
    case Protocol::Ssh:
        break;
    }
    console.enterRawMode();
    return relay(console, *link);
}

int run(const Options& options) {
    Console console;
    try {
        if (options.protocol == Protocol::Ssh) return runSsh(console, options);
        return runLink(console, options);
    } catch (const Failure& failure) {
        console.restore();
        Console::message(failure.what());
        return failure.exitCode();
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = Options::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "skiv: %s\n%s", error.what(), usageText());
        return 2;
    }
    if (options.showVersion) {
        std::puts(version);
        return 0;
    }
    return run(options);
}
