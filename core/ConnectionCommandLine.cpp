#include "core/AppError.h"
#include "core/Connection.h"
#include "core/Paths.h"
#include "core/Unicode.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr std::string_view opkSignature = "Orvel-User-Key-File-";

void append(std::vector<std::string>& list, std::initializer_list<std::string_view> items) {
    for (std::string_view item : items)
        list.emplace_back(item);
}

// Lower-casing also folds the Kelvin sign to "k", so a name ending in ".OP\u212A"
// counts as the suffix just as it would under full case folding.
bool endsWithOpkSuffix(std::string_view path) {
    std::u32string tail;
    for (std::size_t offset = 0; offset < path.size();) {
        const auto d = Unicode::decode(path, offset);
        tail.push_back(d.scalar == 0x212A ? U'k' : d.scalar);
        if (tail.size() > 4) tail.erase(tail.begin());
        offset += d.length;
    }
    if (tail.size() != 4 || tail[0] != U'.') return false;
    auto lower = [](char32_t c) { return c < 0x80 ? char32_t(std::tolower(int(c))) : c; };
    return lower(tail[1]) == U'o' && lower(tail[2]) == U'p' && lower(tail[3]) == U'k';
}

// Opened without blocking so that a FIFO at the key path cannot hang the caller.
bool beginsWithOpkSignature(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    char head[40];
    std::size_t filled = 0;
    while (filled < sizeof head) {
        const ssize_t n = ::read(fd, head + filled, sizeof head - filled);
        if (n > 0)
            filled += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(fd);
    // The signature is ASCII, so comparing bytes equals comparing the lossily decoded text.
    return std::string_view(head, filled).starts_with(opkSignature);
}

std::string lowerRawValue(ConnectionProtocol protocol) {
    std::string text(rawValue(protocol));
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void appendForwards(std::vector<std::string>& list, const std::vector<ForwardRule>& forwards) {
    for (const ForwardRule& rule : forwards)
        append(list, {flag(rule.kind), rule.specification});
}

} // namespace

std::vector<std::string> Connection::sshArguments() const {
    const Connection c = validated();
    std::vector<std::string> args{"-tt",
                                  "-o",
                                  "ConnectTimeout=15",
                                  "-o",
                                  "StrictHostKeyChecking=ask",
                                  "-o",
                                  "PermitLocalCommand=no",
                                  "-o",
                                  "ControlMaster=no",
                                  "-o",
                                  "ControlPath=none"};
    if (!c.port.empty()) append(args, {"-p", c.port});
    // A separate -l keeps an "@" in the user name from being read as part of the host.
    if (!c.username.empty()) append(args, {"-l", c.username});
    if (!c.identityFile.empty())
        append(args, {"-i", expandTilde(c.identityFile), "-o", "IdentitiesOnly=yes"});
    append(args, {"-o", c.agentForwarding ? "ForwardAgent=yes" : "ForwardAgent=no"});
    append(args, {"-o", c.compression ? "Compression=yes" : "Compression=no"});
    append(args, {"-o", c.keepAlive ? "ServerAliveInterval=30" : "ServerAliveInterval=0"});
    append(args, {"-o", "ServerAliveCountMax=3"});
    if (c.passwordOnly)
        append(args, {"-o", "PubkeyAuthentication=no", "-o",
                      "PreferredAuthentications=keyboard-interactive,password"});
    if (!c.forwards.empty()) {
        append(args, {"-o", "ExitOnForwardFailure=yes"});
        appendForwards(args, c.forwards);
    }
    // "--" keeps a host that begins with "-" from being taken for an option.
    append(args, {"--", c.host});
    return args;
}

bool Connection::needsOrvel() const noexcept {
    if (protocolKind != ConnectionProtocol::SSH || orvelEngine) return true;
    try {
        if (endsWithOpkSuffix(identityFile)) return true;
        const std::string path = expandTilde(identityFile);
        return !path.empty() && beginsWithOpkSignature(path);
    } catch (...) {
        // The answer only picks an engine; a failed look-up leaves the profile on OpenSSH.
        return false;
    }
}

std::vector<std::string> Connection::skivArguments() const {
    const Connection c = validated();
    if (c.protocolKind == ConnectionProtocol::SSH && c.username.empty())
        throw AppError("SSH username required");
    // Built by appending: g++ 12 misreads "-" + std::string as an overlapping copy.
    std::string protocolSwitch = "-";
    protocolSwitch += lowerRawValue(c.protocolKind);
    std::vector<std::string> args{protocolSwitch};
    if (c.protocolKind == ConnectionProtocol::serial) {
        append(args, {"-sercfg", c.serialBaud + ",8,n,1,N", c.host});
        return args;
    }
    if (!c.port.empty()) append(args, {"-P", c.port});
    if (!c.username.empty()) append(args, {"-l", c.username});
    if (c.protocolKind == ConnectionProtocol::SSH) {
        append(args, {"-t", "-no-antispoof", "-no-sanitise-stdout", "-no-sanitise-stderr"});
        args.emplace_back(c.agentForwarding ? "-A" : "-a");
        if (!c.identityFile.empty() && !c.passwordOnly) append(args, {"-i", expandTilde(c.identityFile)});
        if (c.compression) args.emplace_back("-C");
        if (c.passwordOnly) args.emplace_back("-noagent");
        appendForwards(args, c.forwards);
    }
    // Validation guarantees the host does not begin with "-", so no separator is needed.
    args.push_back(c.host);
    return args;
}

} // namespace tarvik
