// Telnet, rlogin and serial peers that misbehave: none may exhaust skiv's
// memory, freeze the session or write into the user's terminal.
#include "Harness.h"
#include "engine/TelnetCodec.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace tarvik {
namespace {

using namespace test;
using T = TelnetCodec;
using Clock = std::chrono::steady_clock;

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

// Writes `pattern` over and over for `duration` without ever reading; returns the bytes sent.
size_t floodFor(int fd, const std::string& pattern, std::chrono::milliseconds duration) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string block;
    while (block.size() < 48 * 1024)
        block += pattern;
    size_t sent = 0;
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        ssize_t n = write(fd, block.data(), block.size());
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) break;
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 50);
    }
    return sent;
}

TEST(HostileTelnet, OptionRequestsThatAreNeverReadKeepMemoryBounded) {
    Listener listener;
    PtyRunner skiv({"-telnet", "-P", std::to_string(listener.port()), "127.0.0.1"});
    Fd server{listener.accept()};
    ASSERT_GE(server.fd, 0);
    readUntil(server.fd, std::string("\xff\xfd\x01", 3));
    const long before = statusKiB(skiv.pid(), "VmRSS");
    ASSERT_GT(before, 0);

    // The server ran ten seconds and drove skiv past 200 MiB; four seconds
    // already reach several times the bound when replies queue without limit.
    std::string requests;
    for (int option = 100; option < 200; ++option)
        requests +=
            std::string{static_cast<char>(T::Iac), static_cast<char>(T::Do), static_cast<char>(option)};
    const size_t sent = floodFor(server.fd, requests, 4s);
    const long peak = statusKiB(skiv.pid(), "VmHWM");
    EXPECT_LT(peak - before, 16 * 1024)
        << "KiB before: " << before << ", peak: " << peak << ", sent: " << sent;

    // Still alive, and it answers once the server reads again.
    EXPECT_EQ(kill(skiv.pid(), 0), 0);
    const std::string reply = readUntil(server.fd, std::string("\xff\xfc\xc7", 3));
    EXPECT_NE(reply.find(std::string("\xff\xfc\xc7", 3)), std::string::npos);
    // Replies still queued when the server goes are lost with the connection.
    close(server.fd);
    server.fd = -1;
    EXPECT_GE(skiv.waitExit(), 0);
}

TEST(HostileRlogin, AServerThatNeverAnswersTheHandshakeIsGivenUpOnWithAClearMessage) {
    Listener listener;
    PtyRunner skiv({"-rlogin", "-timeout", "1", "-P", std::to_string(listener.port()), "127.0.0.1"});
    Fd server{listener.accept()};
    ASSERT_GE(server.fd, 0);
    readUntil(server.fd, "/38400" + std::string(1, '\0'));
    EXPECT_EQ(skiv.waitExit(), 1);
    EXPECT_NE(skiv.output().find("skiv: the rlogin server did not answer within 1 seconds"),
              std::string::npos)
        << skiv.output();
}

TEST(HostileRlogin, RefusalTextCannotControlTheTerminalNorHoldTheSession) {
    struct Case {
        std::string sent;
        std::string shown;
    };
    const Case cases[] = {
        {"\001Permission\x1b]0;owned\x07 denied.\x9b"
         "2J\r\n",
         "refused the login: Permission]0;owned denied.2J"},
        {"\001caf\xc3\xa9 \xc2\x9b"
         "1m closed\n",
         "refused the login: caf\xc3\xa9 1m closed"},
    };
    for (const Case& c : cases) {
        Listener listener;
        PtyRunner skiv({"-rlogin", "-P", std::to_string(listener.port()), "127.0.0.1"});
        Fd server{listener.accept()};
        readUntil(server.fd, "/38400" + std::string(1, '\0'));
        // The connection stays open: the message's line is enough.
        writeAll(server.fd, c.sent);
        EXPECT_EQ(skiv.waitExit(), 1);
        EXPECT_NE(skiv.output().find(c.shown + "\r"), std::string::npos) << skiv.output();
        EXPECT_EQ(skiv.output().find_first_of("\x1b\x07"), std::string::npos);
        EXPECT_EQ(skiv.output().find("\x9b"), std::string::npos);
    }
}

// A loopback listener whose connections take little before the sender must wait.
int smallWindowListener(uint16_t& port) {
    int listening = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 4096;
    setsockopt(listening, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listening, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listening, 1) != 0)
        throw std::runtime_error("listen failed");
    getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listening;
}

// How much a sender to such a listener can write before it would block: the
// kernel's send and receive buffers together.
size_t bytesUntilFull() {
    uint16_t port = 0;
    Fd listening{smallWindowListener(port)};
    Fd sender{connectLoopback(port)};
    Fd receiver{accept4(listening.fd, nullptr, nullptr, SOCK_CLOEXEC)};
    fcntl(sender.fd, F_SETFL, fcntl(sender.fd, F_GETFL) | O_NONBLOCK);
    const std::string chunk(16384, 'c');
    size_t total = 0;
    for (ssize_t n; (n = write(sender.fd, chunk.data(), chunk.size())) > 0;)
        total += static_cast<size_t>(n);
    return total;
}

TEST(HostileRlogin, WindowSizeRequestFromAServerThatDoesNotReadDoesNotFreezeTheSession) {
    uint16_t port = 0;
    Fd listener{smallWindowListener(port)};
    const int listening = listener.fd;
    PtyRunner skiv({"-rlogin", "-P", std::to_string(port), "127.0.0.1"}, {}, 90, 33);
    pollfd incoming{listening, POLLIN, 0};
    ASSERT_EQ(poll(&incoming, 1, 15000), 1);
    Fd server{accept4(listening, nullptr, nullptr, SOCK_CLOEXEC)};
    readUntil(server.fd, "/38400" + std::string(1, '\0'));
    writeAll(server.fd, std::string(1, '\0'));
    writeAll(server.fd, "logged in\r\n");
    ASSERT_TRUE(skiv.waitFor("logged in"));

    // The user pastes more than the connection holds while the server reads
    // nothing, though not so much that skiv's own queue is full.
    const std::string paste(bytesUntilFull() + 256 * 1024, 'p');
    skiv.send(paste);
    const char request = static_cast<char>(0x80);
    ASSERT_EQ(send(server.fd, &request, 1, MSG_OOB), 1);
    writeAll(server.fd, "after the request\r\n");
    EXPECT_TRUE(skiv.waitFor("after the request")) << "the session froze on the window-size reply";

    // Once the server reads, the typed bytes and the size both arrive.
    const std::string window = "\xff\xffss" + std::string{0, 33, 0, 90, 0, 0, 0, 0};
    std::string received = readUntil(server.fd, window);
    EXPECT_NE(received.find(window), std::string::npos);
    while (static_cast<size_t>(std::count(received.begin(), received.end(), 'p')) < paste.size()) {
        std::string more = readUntil(server.fd, "p", 5s);
        if (more.empty()) break;
        received += more;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(received.begin(), received.end(), 'p')), paste.size());
    close(server.fd);
    server.fd = -1;
    EXPECT_EQ(skiv.waitExit(), 0) << skiv.output();
}

TEST(HostileSerial, ALineHeldExclusivelyByAnotherProgramIsReportedInUse) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    Fd masterFd{master}, slaveFd{slave};
    ASSERT_EQ(flock(slave, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(slave, TIOCEXCL), 0);
    PtyRunner skiv({"-serial", "-sercfg", "9600,8,n,1,N", name});
    EXPECT_EQ(skiv.waitExit(), 1);
    EXPECT_NE(skiv.output().find(std::string("skiv: cannot open ") + name +
                                 ": the device is in use by another program"),
              std::string::npos)
        << skiv.output();
}

TEST(HostileSerial, SkivHoldsTheLineForItselfWhileConnected) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    Fd masterFd{master};
    close(slave);
    PtyRunner skiv({"-serial", "-sercfg", "9600,8,n,1,N", name});
    writeAll(master, "up");
    ASSERT_TRUE(skiv.waitFor("up")) << skiv.output();
    Fd other{open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (other.fd >= 0) {
        // The superuser passes TIOCEXCL; the lock still tells it the line is taken.
        EXPECT_EQ(getuid(), 0u);
        EXPECT_NE(flock(other.fd, LOCK_EX | LOCK_NB), 0);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }
}

} // namespace
} // namespace tarvik
