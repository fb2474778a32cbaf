#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

enum class Protocol { Raw, Telnet, Rlogin, Ssh, Serial };

enum class ForwardKind { Local, Remote, Dynamic };

struct ForwardSpec {
    ForwardKind kind = ForwardKind::Local;
    std::string bindAddress; // empty: loopback for listeners we open, all for the server's choice
    uint16_t port = 0;
    std::string host; // empty for dynamic forwarding
    uint16_t hostPort = 0;

    // Parses "[bind:]port:host:hostport" (local/remote) or "[bind:]port" (dynamic);
    // addresses may be IPv6 in brackets. Throws UsageError.
    static ForwardSpec parse(ForwardKind kind, const std::string& text);
};

enum class Parity { None, Odd, Even };
enum class FlowControl { None, XonXoff, RtsCts };

struct SerialConfig {
    unsigned speed = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
    FlowControl flow = FlowControl::None;

    // Parses "SPEED[,DATABITS[,PARITY[,STOPBITS[,FLOW]]]]", e.g. "9600,8,n,1,N". Throws UsageError.
    static SerialConfig parse(const std::string& text);
};

struct Options {
    Protocol protocol = Protocol::Ssh;
    bool showVersion = false;
    std::optional<uint16_t> port;
    std::string user;
    std::string host; // device path for a serial line
    bool requestPty = false;
    bool agentForwarding = false;
    std::string identityFile;
    bool compression = false;
    bool useAgent = true;
    // How long setting up the connection (the SSH login's steps, the rlogin handshake) may take.
    unsigned timeoutSeconds = 30;
    std::vector<ForwardSpec> forwards;
    SerialConfig serial;

    // Throws UsageError for anything the engine cannot act on.
    static Options parse(const std::vector<std::string>& args);

    // The port to connect to: -P, else the protocol's well-known port. Throws UsageError for Raw without -P.
    uint16_t effectivePort() const;
};

const char* usageText();

} // namespace tarvik
