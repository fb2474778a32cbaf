#pragma once

#include "core/ClosePolicy.h"
#include "core/ConnectionProtocol.h"
#include "core/ForwardRule.h"
#include "core/Uuid.h"

#include <string>
#include <vector>

namespace tarvik {

// One saved connection profile. The member order is the order of coding.
// Port, serial speed and terminal type stay text exactly as entered; only
// validated() decides whether they are usable.
struct Connection {
    Uuid id = Uuid::random();
    std::string name;
    std::string host;
    std::string port = "22";
    std::string username;
    std::string identityFile;
    std::string group;
    bool favorite = false;
    bool agentForwarding = false;
    bool compression = false;
    bool passwordOnly = false;
    bool keepAlive = true;
    std::vector<ForwardRule> forwards;
    ConnectionProtocol protocolKind = ConnectionProtocol::SSH;
    ClosePolicy closeOnExit = ClosePolicy::clean;
    std::string serialBaud = "9600";
    std::string terminalType = "xterm-256color";
    bool backspaceDel = true;
    std::string logFile;
    bool orvelEngine = false;

    // The name when it has more than spaces (returned untrimmed), else the host.
    std::string title() const;
    // user@host:port from the raw fields; port 22 and an empty port are left out.
    std::string address() const;

    // A trimmed copy, or AppError naming the first problem found.
    Connection validated() const;
    // Options for the OpenSSH client, ending with "--" and the host.
    std::vector<std::string> sshArguments() const;
    // Whether the profile must run on the Skiv engine rather than OpenSSH.
    bool needsOrvel() const noexcept;
    // Arguments for the Skiv engine, without the executable.
    std::vector<std::string> skivArguments() const;

    friend bool operator==(const Connection&, const Connection&) = default;
};

} // namespace tarvik
