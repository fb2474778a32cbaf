#include "core/Validation.h"
#include "core/AppError.h"
#include "core/Connection.h"

#include <gtest/gtest.h>
#include <optional>

namespace tarvik {
namespace {

const std::string hostMessage = "Enter a host name, SSH alias or IP address without spaces or user@.";
const std::string usernameMessage = "Invalid username: spaces and control characters are not allowed.";
const std::string portMessage = "Port must be a number from 1 to 65535.";
const std::string keyMessage = "Invalid key file path.";
const std::string serialMessage = "Invalid serial speed (50\u20134000000 baud).";
const std::string terminalMessage = "Invalid terminal type.";
const std::string tunnelTextMessage = "Enter a tunnel address without spaces.";
const std::string tunnelFormatMessage =
    "Tunnel format: [bind_address:]port:host:hostport; SOCKS: [bind_address:]port.";

Connection sshProfile() {
    Connection c;
    c.host = "example.org";
    return c;
}

// The message of the first failing check, or nothing when the profile passes.
std::optional<std::string> failure(const Connection& c) {
    try {
        c.validated();
        return std::nullopt;
    } catch (const AppError& error) {
        return error.message();
    }
}

TEST(Validation, PortRule) {
    for (const char* good : {"1", "22", "0022", "65535", "00000000000000000000001"})
        EXPECT_TRUE(validPort(good)) << good;
    for (const char* bad : {"", "0", "65536", "+22", "-22", "22a", "2 2", " 22", "99999999999999999999999999",
                            "\u0662\u0662" /* Arabic-Indic digits */})
        EXPECT_FALSE(validPort(bad)) << bad;
}

struct FieldCase {
    ConnectionProtocol protocol;
    std::string value;
    std::optional<std::string> message; // nothing: accepted
};

TEST(Validation, Hosts) {
    using P = ConnectionProtocol;
    const FieldCase cases[] = {
        {P::SSH, "example.org", {}},
        {P::SSH, "[fe80::1%en0]", {}},
        {P::SSH, "my_alias-2", {}},
        {P::telnet, "10.0.0.1", {}},
        {P::SSH, "", hostMessage},
        {P::SSH, "   ", hostMessage},
        {P::SSH, "-oProxyCommand=x", hostMessage},
        {P::SSH, "ann@example.org", hostMessage},
        {P::SSH, "exa mple", hostMessage},
        {P::SSH, "b\u00FCcher.de", hostMessage},
        {P::SSH, "host\xff", hostMessage},
        {P::SSH, "/dev/cu.usbserial-1", hostMessage},
        {P::serial, "/dev/cu.usbserial-1", {}},
        {P::serial, "cu.usbserial-1", hostMessage},
        {P::serial, "/dev/tty S0", hostMessage},
        {P::serial, "/dev/tty\u2028S0", hostMessage},
        {P::serial, std::string("/dev/tty\0S0", 11), hostMessage},
    };
    for (const auto& c : cases) {
        Connection profile = sshProfile();
        profile.protocolKind = c.protocol;
        profile.host = c.value;
        EXPECT_EQ(failure(profile), c.message) << "[" << c.value << "]";
    }
}

TEST(Validation, UsernamesPortsKeysAndTerminalTypes) {
    struct Case {
        std::string Connection::*field;
        std::string value;
        std::optional<std::string> message;
    };
    const Case cases[] = {
        {&Connection::username, "DOMAIN\\ann", {}},
        {&Connection::username, "ann@corp", {}},
        {&Connection::username, "", {}},
        {&Connection::username, "an n", usernameMessage},
        {&Connection::username, "-ann", usernameMessage},
        {&Connection::username, "ann\x01", usernameMessage},
        {&Connection::port, "", {}},
        {&Connection::port, " 2222\n", {}},
        {&Connection::port, "0", portMessage},
        {&Connection::port, "22 22", portMessage},
        {&Connection::identityFile, "/home/ann/My Keys/id", {}},
        {&Connection::identityFile, "/home/ann/id\nx", keyMessage},
        {&Connection::identityFile, "/home/ann/id\rx", keyMessage},
        {&Connection::identityFile, std::string("/id\0x", 5), keyMessage},
        {&Connection::terminalType, "xterm-256color", {}},
        {&Connection::terminalType, "", terminalMessage},
        {&Connection::terminalType, "xterm.256", terminalMessage},
        {&Connection::terminalType, " xterm", terminalMessage}, // not trimmed
    };
    for (const auto& c : cases) {
        Connection profile = sshProfile();
        profile.*c.field = c.value;
        EXPECT_EQ(failure(profile), c.message) << "[" << c.value << "]";
    }
}

TEST(Validation, SerialSpeedIsCheckedOnlyForSerialLines) {
    const std::pair<std::string, bool> cases[] = {{"49", false},     {"50", true},
                                                  {"4000000", true}, {"4000001", false},
                                                  {"", false},       {" 9600", false},
                                                  {"+9600", true},   {"-9600", false},
                                                  {"96O0", false},   {"99999999999999999999999", false}};
    for (const auto& [speed, ok] : cases) {
        Connection profile = sshProfile();
        profile.serialBaud = speed;
        EXPECT_EQ(failure(profile), std::nullopt) << "SSH ignores the speed [" << speed << "]";
        profile.protocolKind = ConnectionProtocol::serial;
        profile.host = "/dev/ttyS0";
        EXPECT_EQ(failure(profile), ok ? std::nullopt : std::optional(serialMessage)) << "[" << speed << "]";
    }
}

TEST(Validation, ForwardingSpecifications) {
    using K = ForwardKind;
    struct Case {
        K kind;
        std::string specification;
        std::optional<std::string> message;
    };
    const Case cases[] = {
        {K::local, "8080:localhost:80", {}},
        {K::local, "127.0.0.1:8080:localhost:80", {}},
        {K::remote, "[::1]:8080:[fe80::1]:80", {}},
        {K::local, "8080:localhost", tunnelFormatMessage},
        {K::local, "8080::80", tunnelFormatMessage},
        {K::local, "0:localhost:80", tunnelFormatMessage},
        {K::local, "a:b:c:d:e", tunnelFormatMessage},
        {K::local, "8080:local host:80", tunnelTextMessage},
        {K::local, "8080:localhost:80\n", tunnelTextMessage},
        {K::local, "", tunnelTextMessage},
        {K::local, "-8080:localhost:80", tunnelTextMessage},
        {K::SOCKS, "1080", {}},
        {K::SOCKS, "127.0.0.1:1080", {}},
        {K::SOCKS, "[::1]:1080", {}},
        {K::SOCKS, "a:b:1080", tunnelFormatMessage},
        {K::SOCKS, "[::1:1080", tunnelFormatMessage},
        {K::SOCKS, "127.0.0.1:", tunnelFormatMessage},
    };
    for (const auto& c : cases) {
        Connection profile = sshProfile();
        profile.forwards = {ForwardRule{Uuid::random(), c.kind, c.specification}};
        EXPECT_EQ(failure(profile), c.message) << "[" << c.specification << "]";
    }
}

TEST(Validation, ChecksRunInOrderAndReportOnlyTheFirstProblem) {
    Connection profile = sshProfile();
    profile.host = "bad host";
    profile.port = "0";
    profile.username = "-x";
    EXPECT_EQ(failure(profile), hostMessage);
    profile.host = "ok";
    EXPECT_EQ(failure(profile), usernameMessage);
    profile.username = "";
    profile.terminalType = "";
    EXPECT_EQ(failure(profile), portMessage);
    profile.port = "22";
    profile.forwards = {ForwardRule{Uuid::random(), ForwardKind::local, "bad"}};
    EXPECT_EQ(failure(profile), terminalMessage);
}

TEST(Validation, TrimsOnlyTheListedFieldsOfACopy) {
    Connection profile = sshProfile();
    profile.name = "\u3000 Name \n";
    profile.host = "\t example.org \u2029";
    profile.username = " ann ";
    profile.port = "\u00A00022 ";
    profile.identityFile = " ~/key ";
    profile.group = "\r\ngroup\u0085";
    profile.logFile = " log ";
    profile.forwards = {ForwardRule{Uuid::random(), ForwardKind::SOCKS, "1080"}};
    const Connection original = profile;

    const Connection v = profile.validated();
    EXPECT_EQ(profile, original);
    EXPECT_EQ(v.name, "Name");
    EXPECT_EQ(v.host, "example.org");
    EXPECT_EQ(v.username, "ann");
    EXPECT_EQ(v.port, "0022");
    EXPECT_EQ(v.identityFile, "~/key");
    EXPECT_EQ(v.group, "group");
    EXPECT_EQ(v.logFile, " log ");
    EXPECT_EQ(v.id, profile.id);
    EXPECT_EQ(v.forwards, profile.forwards);
}

} // namespace
} // namespace tarvik
