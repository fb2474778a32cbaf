#include "engine/Options.h"

#include "engine/Failure.h"

#include <charconv>
#include <map>

namespace tarvik {

namespace {

unsigned long parseNumber(const std::string& text, unsigned long max, const std::string& what) {
    unsigned long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max)
        throw UsageError("invalid " + what + ": \"" + text + "\"");
    return value;
}

uint16_t parsePort(const std::string& text, bool allowZero) {
    auto value = parseNumber(text, 65535, "port");
    if (value == 0 && !allowZero) throw UsageError("invalid port: \"" + text + "\"");
    return static_cast<uint16_t>(value);
}

// Splits on colons outside brackets; a bracketed field loses its brackets so
// that "[::1]:8080" yields "::1" and "8080".
std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields(1);
    bool bracket = false;
    bool wasBracketed = false;
    for (char c : text) {
        if (c == '[' && !bracket && fields.back().empty() && !wasBracketed) {
            bracket = true;
            wasBracketed = true;
        } else if (c == ']' && bracket) {
            bracket = false;
        } else if (c == ':' && !bracket) {
            fields.emplace_back();
            wasBracketed = false;
        } else {
            if (wasBracketed && !bracket) throw UsageError("invalid forwarding \"" + text + "\"");
            fields.back() += c;
        }
    }
    if (bracket) throw UsageError("invalid forwarding \"" + text + "\"");
    return fields;
}

const std::map<std::string, Protocol>& protocolSwitches() {
    static const std::map<std::string, Protocol> table{{"-raw", Protocol::Raw},
                                                       {"-telnet", Protocol::Telnet},
                                                       {"-rlogin", Protocol::Rlogin},
                                                       {"-ssh", Protocol::Ssh},
                                                       {"-serial", Protocol::Serial}};
    return table;
}

} // namespace

ForwardSpec ForwardSpec::parse(ForwardKind kind, const std::string& text) {
    auto fields = splitFields(text);
    ForwardSpec spec;
    spec.kind = kind;
    const bool dynamic = kind == ForwardKind::Dynamic;
    const size_t shortForm = dynamic ? 1 : 3;
    if (fields.size() != shortForm && fields.size() != shortForm + 1)
        throw UsageError("invalid forwarding \"" + text + "\"");
    size_t i = 0;
    if (fields.size() == shortForm + 1) spec.bindAddress = fields[i++];
    // A remote listener on port 0 lets the server choose one.
    spec.port = parsePort(fields[i++], kind == ForwardKind::Remote);
    if (!dynamic) {
        spec.host = fields[i++];
        if (spec.host.empty()) throw UsageError("invalid forwarding \"" + text + "\"");
        spec.hostPort = parsePort(fields[i], false);
    }
    return spec;
}

SerialConfig SerialConfig::parse(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() > 5) throw UsageError("invalid serial configuration \"" + text + "\"");
    SerialConfig config;
    config.speed = static_cast<unsigned>(parseNumber(fields[0], 100000000, "serial speed"));
    if (config.speed == 0) throw UsageError("invalid serial speed: \"" + fields[0] + "\"");
    if (fields.size() > 1) {
        config.dataBits = static_cast<int>(parseNumber(fields[1], 8, "data bits"));
        if (config.dataBits < 5) throw UsageError("invalid data bits: \"" + fields[1] + "\"");
    }
    if (fields.size() > 2) {
        const std::string& p = fields[2];
        if (p == "n" || p == "N")
            config.parity = Parity::None;
        else if (p == "o" || p == "O")
            config.parity = Parity::Odd;
        else if (p == "e" || p == "E")
            config.parity = Parity::Even;
        else
            throw UsageError("invalid parity: \"" + p + "\"");
    }
    if (fields.size() > 3) {
        if (fields[3] != "1" && fields[3] != "2")
            throw UsageError("invalid stop bits: \"" + fields[3] + "\"");
        config.stopBits = fields[3] == "1" ? 1 : 2;
    }
    if (fields.size() > 4) {
        const std::string& f = fields[4];
        if (f == "N" || f == "n")
            config.flow = FlowControl::None;
        else if (f == "X" || f == "x")
            config.flow = FlowControl::XonXoff;
        else if (f == "R" || f == "r")
            config.flow = FlowControl::RtsCts;
        else
            throw UsageError("invalid flow control: \"" + f + "\"");
    }
    return config;
}

Options Options::parse(const std::vector<std::string>& args) {
    Options options;
    bool serialConfigSeen = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError("option " + arg + " needs a value");
            return args[++i];
        };
        if (auto p = protocolSwitches().find(arg); p != protocolSwitches().end()) {
            options.protocol = p->second;
        } else if (arg == "-V") {
            options.showVersion = true;
        } else if (arg == "-P") {
            options.port = parsePort(value(), false);
        } else if (arg == "-l") {
            options.user = value();
        } else if (arg == "-t") {
            options.requestPty = true;
        } else if (arg == "-no-antispoof" || arg == "-no-sanitise-stdout" || arg == "-no-sanitise-stderr") {
            // Output is always passed on verbatim and no prompt decoration is drawn.
        } else if (arg == "-A" || arg == "-a") {
            options.agentForwarding = arg == "-A";
        } else if (arg == "-i") {
            options.identityFile = value();
        } else if (arg == "-C") {
            options.compression = true;
        } else if (arg == "-timeout") {
            options.timeoutSeconds = static_cast<unsigned>(parseNumber(value(), 86400, "timeout"));
            if (options.timeoutSeconds == 0) throw UsageError("invalid timeout: \"0\"");
        } else if (arg == "-noagent") {
            options.useAgent = false;
        } else if (arg == "-L" || arg == "-R" || arg == "-D") {
            auto kind = arg == "-L"   ? ForwardKind::Local
                        : arg == "-R" ? ForwardKind::Remote
                                      : ForwardKind::Dynamic;
            options.forwards.push_back(ForwardSpec::parse(kind, value()));
        } else if (arg == "-sercfg") {
            options.serial = SerialConfig::parse(value());
            serialConfigSeen = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option \"" + arg + "\"");
        } else if (!options.host.empty()) {
            throw UsageError("unexpected argument \"" + arg + "\"");
        } else {
            options.host = arg;
        }
    }
    if (options.showVersion) return options;
    if (options.host.empty())
        throw UsageError(options.protocol == Protocol::Serial ? "no serial device given" : "no host given");
    if (serialConfigSeen && options.protocol != Protocol::Serial) throw UsageError("-sercfg needs -serial");
    if (!options.forwards.empty() && options.protocol != Protocol::Ssh)
        throw UsageError("port forwarding needs -ssh");
    if (options.protocol == Protocol::Raw && !options.port) throw UsageError("-raw needs a port (-P PORT)");
    return options;
}

uint16_t Options::effectivePort() const {
    if (port) return *port;
    switch (protocol) {
    case Protocol::Telnet:
        return 23;
    case Protocol::Rlogin:
        return 513;
    case Protocol::Ssh:
        return 22;
    default:
        throw UsageError("-raw needs a port (-P PORT)");
    }
}

const char* usageText() {
    return "usage: skiv -raw|-telnet|-rlogin|-ssh [-P PORT] [-l USER] [-t] [-A|-a] [-i KEYFILE] [-C]\n"
           "            [-noagent] [-L [bind:]port:host:hostport] [-R [bind:]port:host:hostport]\n"
           "            [-D [bind:]port] [-no-antispoof] [-no-sanitise-stdout] [-no-sanitise-stderr]\n"
           "            [-timeout SECONDS] HOST\n"
           "       skiv -serial -sercfg SPEED,8,n,1,N DEVICE\n"
           "       skiv -V\n";
}

} // namespace tarvik
