#include "Harness.h"
#include "SpeedProbe.h"
#include "engine/TelnetCodec.h"

#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace tarvik {
namespace {

using namespace test;
using T = TelnetCodec;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

TEST(RawLink, RelaysEveryByteValueBothWaysAndEndsCleanly) {
    Listener listener;
    PtyRunner skiv({"-raw", "-P", std::to_string(listener.port()), "127.0.0.1"});
    Fd peer{listener.accept()};
    ASSERT_GE(peer.fd, 0);

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    writeAll(peer.fd, all + "END");
    ASSERT_TRUE(skiv.waitFor(all + "END")) << "session output must arrive unaltered";

    // In raw mode the terminal passes control characters through instead of acting on them.
    skiv.send(std::string("\x03\x1a\r\x7f"
                          "done",
                          8));
    EXPECT_EQ(readUntil(peer.fd, "done"), std::string("\x03\x1a\r\x7f"
                                                      "done",
                                                      8));

    close(peer.fd);
    peer.fd = -1;
    EXPECT_EQ(skiv.waitExit(), 0);
}

TEST(RawLink, TerminalSettingsAreRestoredOnEveryWayOut) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT, 0}) {
        SCOPED_TRACE(sig);
        Listener listener;
        PtyRunner skiv({"-raw", "-P", std::to_string(listener.port()), "127.0.0.1"});
        Fd peer{listener.accept()};
        writeAll(peer.fd, "ready");
        ASSERT_TRUE(skiv.waitFor("ready"));
        termios settings{};
        ASSERT_EQ(tcgetattr(skiv.master(), &settings), 0);
        EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG));
        if (sig != 0) {
            kill(skiv.pid(), sig);
            EXPECT_EQ(skiv.waitExit(), 128 + sig);
        } else {
            close(peer.fd);
            peer.fd = -1;
            EXPECT_EQ(skiv.waitExit(), 0);
        }
        ASSERT_EQ(tcgetattr(skiv.master(), &settings), 0);
        EXPECT_TRUE(settings.c_lflag & ICANON);
        EXPECT_TRUE(settings.c_lflag & ECHO);
        EXPECT_TRUE(settings.c_lflag & ISIG);
    }
}

// The server side of a Telnet session, scripted in the test.
TEST(TelnetLink, NegotiatesSizeAndTypeAndFollowsResizes) {
    Listener listener;
    PtyRunner skiv({"-telnet", "-P", std::to_string(listener.port()), "127.0.0.1"}, {{"TERM", "vt220"}}, 100,
                   30);
    Fd server{listener.accept()};
    ASSERT_GE(server.fd, 0);

    const std::string offers = readUntil(server.fd, bytes({T::Iac, T::Do, T::Echo}));
    EXPECT_NE(offers.find(bytes({T::Iac, T::Will, T::Naws})), std::string::npos);
    EXPECT_NE(offers.find(bytes({T::Iac, T::Will, T::TerminalType})), std::string::npos);

    writeAll(server.fd,
             bytes({T::Iac, T::Do, T::Naws, T::Iac, T::Do, T::TerminalType, T::Iac, T::Will, T::Echo}) +
                 bytes({T::Iac, T::Sb, T::TerminalType, 1, T::Iac, T::Se}));
    const std::string size = bytes({T::Iac, T::Sb, T::Naws, 0, 100, 0, 30, T::Iac, T::Se});
    const std::string type = bytes({T::Iac, T::Sb, T::TerminalType, 0}) + "vt220" + bytes({T::Iac, T::Se});
    std::string replies = readUntil(server.fd, type);
    if (replies.find(size) == std::string::npos) replies += readUntil(server.fd, size);
    EXPECT_NE(replies.find(size), std::string::npos);
    EXPECT_NE(replies.find(type), std::string::npos);
    // Our own requests answered by the server must not be answered again.
    EXPECT_EQ(replies.find(bytes({T::Iac, T::Do, T::Echo})), std::string::npos);

    // A command split across writes is still removed from the output.
    writeAll(server.fd, "log" + bytes({T::Iac}));
    writeAll(server.fd, bytes({T::Nop}) + "in: " + bytes({T::Iac, T::Iac}) + "\r\n");
    EXPECT_TRUE(skiv.waitFor("login: \xff\r\n"));

    skiv.resize(120, 40);
    EXPECT_NE(
        readUntil(server.fd, bytes({0, 120, 0, 40, T::Iac, T::Se})).find(bytes({T::Iac, T::Sb, T::Naws})),
        std::string::npos);

    skiv.send("ann\r");
    EXPECT_EQ(readUntil(server.fd, std::string("ann\r\0", 5)), std::string("ann\r\0", 5));

    close(server.fd);
    server.fd = -1;
    EXPECT_EQ(skiv.waitExit(), 0);
}

// skiv has taken the line over once canonical mode is off; bytes written before
// that would be cooked by the line discipline.
bool waitForRawLine(int slave) {
    auto end = std::chrono::steady_clock::now() + deadline;
    termios settings{};
    while (std::chrono::steady_clock::now() < end) {
        if (tcgetattr(slave, &settings) == 0 && !(settings.c_lflag & ICANON)) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

// A pseudo-terminal pair stands in for the serial line: the slave is the device.
TEST(SerialLink, RelaysOverTheLineWithTheRequestedSettings) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    Fd masterFd{master}, slaveFd{slave};
    PtyRunner skiv({"-serial", "-sercfg", "115200,8,n,1,N", name});
    ASSERT_TRUE(waitForRawLine(slave));

    writeAll(master, "ping\r\n");
    ASSERT_TRUE(skiv.waitFor("ping\r\n"));
    skiv.send("pong\x03");
    EXPECT_EQ(readUntil(master, "pong\x03"), "pong\x03");

    termios settings{};
    ASSERT_EQ(tcgetattr(slave, &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), B115200);
    EXPECT_EQ(outputSpeed(slave), 115200u);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO));
}

TEST(SerialLink, AcceptsNonStandardSpeeds) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    Fd masterFd{master}, slaveFd{slave};
    PtyRunner skiv({"-serial", "-sercfg", "250000,8,n,1,N", name});
    ASSERT_TRUE(waitForRawLine(slave));
    writeAll(master, "up");
    ASSERT_TRUE(skiv.waitFor("up")) << skiv.output();
    EXPECT_EQ(outputSpeed(slave), 250000u);
}

TEST(RloginLink, HandshakesAndSendsWindowSizeWhenAsked) {
    Listener listener;
    PtyRunner skiv({"-rlogin", "-P", std::to_string(listener.port()), "-l", "remoteann", "127.0.0.1"},
                   {{"TERM", "xterm"}}, 90, 33);
    Fd server{listener.accept()};
    ASSERT_GE(server.fd, 0);
    std::string hello = readUntil(server.fd, "xterm/38400" + bytes({0}));
    ASSERT_GE(hello.size(), 2u);
    EXPECT_EQ(hello[0], '\0');
    EXPECT_NE(hello.find(bytes({0}) + "remoteann" + bytes({0}) + "xterm/38400" + bytes({0})),
              std::string::npos);

    writeAll(server.fd, bytes({0}));
    const char control = static_cast<char>(0x80);
    ASSERT_EQ(send(server.fd, &control, 1, MSG_OOB), 1);
    EXPECT_EQ(readUntil(server.fd, bytes({0, 0, 0, 0})), "\xff\xffss" + bytes({0, 33, 0, 90, 0, 0, 0, 0}));
    writeAll(server.fd, "welcome\r\n");
    EXPECT_TRUE(skiv.waitFor("welcome\r\n"));

    skiv.resize(100, 20);
    EXPECT_EQ(readUntil(server.fd, bytes({0, 0, 0, 0})), "\xff\xffss" + bytes({0, 20, 0, 100, 0, 0, 0, 0}));
    close(server.fd);
    server.fd = -1;
    EXPECT_EQ(skiv.waitExit(), 0);
}

TEST(RloginLink, ReportsTheServersRefusal) {
    Listener listener;
    PtyRunner skiv({"-rlogin", "-P", std::to_string(listener.port()), "127.0.0.1"});
    Fd server{listener.accept()};
    readUntil(server.fd, "/38400" + bytes({0}));
    writeAll(server.fd, "\001Permission denied.\n");
    close(server.fd);
    server.fd = -1;
    EXPECT_EQ(skiv.waitExit(), 1);
    EXPECT_NE(skiv.output().find("rlogin server refused the login: Permission denied."), std::string::npos);
}

} // namespace
} // namespace tarvik
