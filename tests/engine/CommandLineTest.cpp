#include "Harness.h"
#include "engine/Failure.h"
#include "engine/Options.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using namespace test;

TEST(ForwardSpec, ParsesEveryWrittenForm) {
    struct Case {
        ForwardKind kind;
        std::string text;
        std::string bind;
        uint16_t port;
        std::string host;
        uint16_t hostPort;
    };
    const Case cases[] = {
        {ForwardKind::Local, "8080:intranet:80", "", 8080, "intranet", 80},
        {ForwardKind::Local, "0.0.0.0:8080:intranet:80", "0.0.0.0", 8080, "intranet", 80},
        {ForwardKind::Local, "[::1]:8080:[fe80::1]:22", "::1", 8080, "fe80::1", 22},
        {ForwardKind::Remote, "0:localhost:22", "", 0, "localhost", 22},
        {ForwardKind::Dynamic, "1080", "", 1080, "", 0},
        {ForwardKind::Dynamic, "[::]:1080", "::", 1080, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto spec = ForwardSpec::parse(c.kind, c.text);
        EXPECT_EQ(spec.bindAddress, c.bind);
        EXPECT_EQ(spec.port, c.port);
        EXPECT_EQ(spec.host, c.host);
        EXPECT_EQ(spec.hostPort, c.hostPort);
    }
}

TEST(ForwardSpec, RejectsMalformedForms) {
    const std::pair<ForwardKind, std::string> cases[] = {
        {ForwardKind::Local, "8080:intranet"},
        {ForwardKind::Local, "8080:fe80::1:22"},
        {ForwardKind::Local, "0:intranet:80"},
        {ForwardKind::Local, "70000:intranet:80"},
        {ForwardKind::Local, "8080:intranet:0"},
        {ForwardKind::Local, "8080::80"},
        {ForwardKind::Local, "[::1:8080:host:80"},
        {ForwardKind::Local, "[::1]x:8080:host:80"},
        {ForwardKind::Dynamic, "a:b:1080"},
        {ForwardKind::Dynamic, "port"},
        {ForwardKind::Dynamic, ""},
        {ForwardKind::Remote, "-1:host:22"},
    };
    for (const auto& [kind, text] : cases)
        EXPECT_THROW(ForwardSpec::parse(kind, text), UsageError) << text;
}

TEST(SerialConfig, ReadsLineSettingsAndRejectsNonsense) {
    auto config = SerialConfig::parse("250000,7,e,2,R");
    EXPECT_EQ(config.speed, 250000u);
    EXPECT_EQ(config.dataBits, 7);
    EXPECT_EQ(config.parity, Parity::Even);
    EXPECT_EQ(config.stopBits, 2);
    EXPECT_EQ(config.flow, FlowControl::RtsCts);
    EXPECT_EQ(SerialConfig::parse("9600").dataBits, 8);
    for (const char* bad : {"", "0,8,n,1,N", "fast,8,n,1,N", "9600,9,n,1,N", "9600,8,q,1,N", "9600,8,n,3,N",
                            "9600,8,n,1,Z", "9600,8,n,1,N,extra"})
        EXPECT_THROW(SerialConfig::parse(bad), UsageError) << bad;
}

TEST(Options, ProfileCommandLinesParse) {
    auto ssh = Options::parse({"-ssh", "-l", "ann", "-t", "-no-antispoof", "-no-sanitise-stdout",
                               "-no-sanitise-stderr", "-a", "-i", "/k", "-C", "-L", "1:h:2", "-D", "3",
                               "example.org"});
    EXPECT_EQ(ssh.protocol, Protocol::Ssh);
    EXPECT_EQ(ssh.user, "ann");
    EXPECT_TRUE(ssh.requestPty && ssh.compression && ssh.useAgent);
    EXPECT_FALSE(ssh.agentForwarding);
    EXPECT_EQ(ssh.identityFile, "/k");
    EXPECT_EQ(ssh.forwards.size(), 2u);
    EXPECT_EQ(ssh.host, "example.org");
    EXPECT_EQ(ssh.effectivePort(), 22);

    auto serial = Options::parse({"-serial", "-sercfg", "9600,8,n,1,N", "/dev/ttyS0"});
    EXPECT_EQ(serial.serial.speed, 9600u);
    EXPECT_EQ(serial.host, "/dev/ttyS0");

    EXPECT_EQ(Options::parse({"-telnet", "h"}).effectivePort(), 23);
    EXPECT_EQ(Options::parse({"-rlogin", "h"}).effectivePort(), 513);
    EXPECT_EQ(Options::parse({"-raw", "-P", "7", "h"}).effectivePort(), 7);
    EXPECT_FALSE(Options::parse({"-ssh", "-noagent", "h"}).useAgent);

    EXPECT_EQ(Options::parse({"-rlogin", "h"}).timeoutSeconds, 30u);
    EXPECT_EQ(Options::parse({"-rlogin", "-timeout", "5", "h"}).timeoutSeconds, 5u);
    for (const char* bad : {"0", "-1", "soon", "86401"})
        EXPECT_THROW(Options::parse({"-ssh", "-timeout", bad, "h"}), UsageError) << bad;
}

// The process itself: usage errors say what is wrong and exit 2 before anything connects.
TEST(SkivProcess, RejectsBadCommandLinesWithStatusTwo) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-ssh"}, "no host given"},
        {{"-raw", "localhost"}, "-raw needs a port"},
        {{"-ssh", "-bogus", "h"}, "unknown option \"-bogus\""},
        {{"-ssh", "-P"}, "-P needs a value"},
        {{"-ssh", "-P", "99999", "h"}, "invalid port"},
        {{"-telnet", "-L", "1:h:2", "h"}, "port forwarding needs -ssh"},
        {{"-ssh", "a", "b"}, "unexpected argument \"b\""},
        {{"-serial", "-sercfg", "x", "/dev/null"}, "invalid serial speed"},
    };
    for (const auto& [args, message] : cases) {
        PtyRunner skiv(args);
        EXPECT_EQ(skiv.waitExit(), 2) << args.front();
        EXPECT_NE(skiv.output().find(message), std::string::npos) << skiv.output();
        EXPECT_NE(skiv.output().find("usage: skiv"), std::string::npos);
    }
}

TEST(SkivProcess, PrintsVersion) {
    PtyRunner skiv({"-V"});
    EXPECT_EQ(skiv.waitExit(), 0);
    EXPECT_EQ(skiv.output(), "skiv 0.85\r\n");
}

TEST(SkivProcess, ConnectionFailuresAreOneLineAndStatusOne) {
    const uint16_t closed = unusedPort();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-raw", "-P", std::to_string(closed), "127.0.0.1"},
         "skiv: cannot connect to 127.0.0.1:" + std::to_string(closed) + ": Connection refused"},
        {{"-telnet", "-P", std::to_string(closed), "::1"},
         "skiv: cannot connect to [::1]:" + std::to_string(closed) + ": "},
        {{"-ssh", "-P", std::to_string(closed), "127.0.0.1"},
         "skiv: cannot connect to 127.0.0.1:" + std::to_string(closed) + ": "},
        {{"-serial", "-sercfg", "9600,8,n,1,N", "/nonexistent/tty"}, "skiv: cannot open /nonexistent/tty: "},
    };
    for (const auto& [args, message] : cases) {
        PtyRunner skiv(args);
        EXPECT_EQ(skiv.waitExit(), 1) << args.back();
        EXPECT_EQ(skiv.output().rfind(message, 0), 0u) << skiv.output();
    }
}

} // namespace
} // namespace tarvik
