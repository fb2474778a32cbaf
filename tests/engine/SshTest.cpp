#include "Harness.h"

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr const char* sshdPath = Sshd::path;

// A throw-away OpenSSH server on 127.0.0.1 with its own keys and configuration.
class SshServer {
  public:
    SshServer() : dir_(makeTempDir("skiv-sshd-")) {
        run("ssh-keygen -q -t ed25519 -N '' -f " + (dir_ / "host_key").string());
        run("ssh-keygen -q -t ed25519 -N '' -f " + (dir_ / "user_key").string());
        run("ssh-keygen -q -t ed25519 -N '' -f " + (dir_ / "other_host_key").string());
        fs::copy_file(dir_ / "user_key.pub", dir_ / "authorized_keys");
        sshd_ = std::make_unique<Sshd>(dir_, dir_ / "host_key",
                                       "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                       "AllowTcpForwarding yes\n");
    }

    ~SshServer() {
        sshd_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    uint16_t port() const { return sshd_->port(); }
    fs::path userKey() const { return dir_ / "user_key"; }
    std::string knownHostsLine(const char* key = "host_key.pub") const {
        std::string pub = readFile(dir_ / key);
        pub = pub.substr(0, pub.rfind(' '));
        return "[127.0.0.1]:" + std::to_string(port()) + " " + pub + "\n";
    }

  private:
    fs::path dir_;
    std::unique_ptr<Sshd> sshd_;
};

class Ssh : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (access(sshdPath, X_OK) == 0) server_ = std::make_unique<SshServer>();
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_) GTEST_SKIP() << sshdPath << " is not installed";
        state_ = makeTempDir("skiv-state-");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!state_.empty()) fs::remove_all(state_, ignored);
    }

    void trustServer() { std::ofstream(state_ / "known_hosts") << server_->knownHostsLine(); }

    std::unique_ptr<PtyRunner> start(std::vector<std::string> extra = {}, unsigned short columns = 80,
                                     unsigned short rows = 24) {
        std::vector<std::string> args{
            "-ssh",     "-P", std::to_string(server_->port()), "-l", userName(), "-t", "-no-antispoof", "-a",
            "-noagent", "-i", server_->userKey().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("127.0.0.1");
        return std::make_unique<PtyRunner>(
            args, std::map<std::string, std::string>{{"ORVELDIR", state_.string()}}, columns, rows);
    }

    // The remote shell answers once it computes the marker; the typed text alone does not contain it.
    static bool shellReady(PtyRunner& skiv) {
        skiv.send("echo READY$((20+22))\r");
        return skiv.waitFor("READY42");
    }

    static std::string userName() { return getpwuid(getuid())->pw_name; }

    static std::unique_ptr<SshServer> server_;
    fs::path state_;
};

std::unique_ptr<SshServer> Ssh::server_;

TEST_F(Ssh, UnknownHostIsAskedOnceAndRemoteStatusIsReturned) {
    {
        auto skiv = start();
        ASSERT_TRUE(skiv->waitFor("(yes/no)? ")) << skiv->output();
        EXPECT_NE(skiv->output().find("key fingerprint is SHA256:"), std::string::npos);
        skiv->send("yes\r");
        ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
        skiv->send("exit 7\r");
        EXPECT_EQ(skiv->waitExit(), 7);
    }
    // Stored hashed: the file names no host, yet OpenSSH's own lookup finds the entry.
    const std::string name = "[127.0.0.1]:" + std::to_string(server_->port());
    const std::string stored = readFile(state_ / "known_hosts");
    EXPECT_EQ(stored.rfind("|1|", 0), 0u) << stored;
    EXPECT_EQ(stored.find("127.0.0.1"), std::string::npos) << stored;
    EXPECT_EQ(fs::status(state_ / "known_hosts").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    run("ssh-keygen -F '" + name + "' -f " + (state_ / "known_hosts").string() + " >/dev/null");

    auto again = start();
    ASSERT_TRUE(shellReady(*again)) << again->output();
    again->send("exit\r");
    EXPECT_EQ(again->waitExit(), 0);
    EXPECT_EQ(again->output().find("authenticity"), std::string::npos);
}

TEST_F(Ssh, DecliningTheHostKeyEndsWithoutStoringIt) {
    auto skiv = start();
    ASSERT_TRUE(skiv->waitFor("(yes/no)? "));
    skiv->send("maybe\r");
    ASSERT_TRUE(skiv->waitFor("Please type 'yes' or 'no': "));
    skiv->send("no\r");
    EXPECT_EQ(skiv->waitExit(), 1);
    EXPECT_TRUE(skiv->waitFor("host key not accepted"));
    EXPECT_FALSE(fs::exists(state_ / "known_hosts") && !readFile(state_ / "known_hosts").empty());
}

TEST_F(Ssh, ChangedHostKeyIsRefusedWithoutAsking) {
    std::ofstream(state_ / "known_hosts") << server_->knownHostsLine("other_host_key.pub");
    auto skiv = start();
    EXPECT_EQ(skiv->waitExit(), 1);
    EXPECT_NE(skiv->output().find("WARNING: the host key of [127.0.0.1]:"), std::string::npos)
        << skiv->output();
    EXPECT_EQ(skiv->output().find("(yes/no)"), std::string::npos);
}

TEST_F(Ssh, LoginFailsClearlyWhenNoMethodIsLeft) {
    trustServer();
    const std::string missing = (state_ / "no_such_key").string();
    const std::string opk = (state_ / "mine.opk").string();
    std::ofstream(opk) << "Orvel-User-Key-File-3: ssh-ed25519\n";
    for (const std::string& key : {missing, opk}) {
        std::vector<std::string> args{"-ssh", "-P",       std::to_string(server_->port()),
                                      "-l",   userName(), "-noagent",
                                      "-i",   key,        "127.0.0.1"};
        PtyRunner skiv(args, {{"ORVELDIR", state_.string()}});
        EXPECT_EQ(skiv.waitExit(), 1);
        EXPECT_NE(skiv.output().find(key), std::string::npos) << skiv.output();
        EXPECT_NE(skiv.output().find("skiv: authentication failed for " + userName() + "@127.0.0.1"),
                  std::string::npos);
    }
}

TEST_F(Ssh, RemoteTerminalFollowsTheWindowSize) {
    trustServer();
    auto skiv = start({}, 90, 20);
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
    skiv->send("stty size\r");
    EXPECT_TRUE(skiv->waitFor("20 90"));
    skiv->resize(132, 43);
    skiv->send("stty size\r");
    EXPECT_TRUE(skiv->waitFor("43 132")) << skiv->output();
    skiv->send("exit\r");
    EXPECT_EQ(skiv->waitExit(), 0);
}

TEST_F(Ssh, ForwardsLocalPortsAndSocks5) {
    trustServer();
    EchoServer echo;
    const uint16_t local = unusedPort();
    const uint16_t socks = unusedPort();
    auto skiv = start({"-L", std::to_string(local) + ":127.0.0.1:" + std::to_string(echo.port()), "-D",
                       "127.0.0.1:" + std::to_string(socks)});
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();

    int direct = connectLoopback(local);
    ASSERT_GE(direct, 0);
    std::string big(200000, 'x');
    big += "END";
    writeAll(direct, big);
    EXPECT_EQ(readUntil(direct, "END").size(), big.size());
    close(direct);

    int proxied = connectLoopback(socks);
    ASSERT_GE(proxied, 0);
    writeAll(proxied, std::string("\x05\x01\x00", 3));
    EXPECT_EQ(readUntil(proxied, std::string("\x05\x00", 2)), std::string("\x05\x00", 2));
    std::string request("\x05\x01\x00\x01\x7f\x00\x00\x01", 8);
    request += static_cast<char>(echo.port() >> 8);
    request += static_cast<char>(echo.port() & 0xff);
    writeAll(proxied, request + "through socks");
    std::string reply = readUntil(proxied, "through socks");
    EXPECT_EQ(reply.substr(0, 2), std::string("\x05\x00", 2));
    EXPECT_NE(reply.find("through socks"), std::string::npos);
    close(proxied);

    // The shell still answers after the forwarded connections ended.
    skiv->send("exit 3\r");
    EXPECT_EQ(skiv->waitExit(), 3);
}

TEST_F(Ssh, ForwardsRemotePortsBackToLocalServices) {
    trustServer();
    EchoServer echo;
    const uint16_t remote = unusedPort();
    auto skiv =
        start({"-R", "127.0.0.1:" + std::to_string(remote) + ":127.0.0.1:" + std::to_string(echo.port())});
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
    for (const char* payload : {"first connection", "second connection"}) {
        int fd = connectLoopback(remote);
        ASSERT_GE(fd, 0);
        writeAll(fd, payload);
        EXPECT_EQ(readUntil(fd, payload), payload);
        close(fd);
    }
    skiv->send("exit\r");
    EXPECT_EQ(skiv->waitExit(), 0);
}

TEST_F(Ssh, RemoteForwardingToAServiceThatNeverAnswersLeavesTheShellResponsive) {
    trustServer();
    // A listener with a full queue: the kernel drops further connection attempts, which then hang.
    int stalled = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(stalled, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(stalled, 0), 0);
    getsockname(stalled, reinterpret_cast<sockaddr*>(&address), &length);
    const uint16_t stalledPort = ntohs(address.sin_port);
    int filler = connectLoopback(stalledPort);
    ASSERT_GE(filler, 0);

    const uint16_t remote = unusedPort();
    auto skiv =
        start({"-R", "127.0.0.1:" + std::to_string(remote) + ":127.0.0.1:" + std::to_string(stalledPort)});
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
    int client = connectLoopback(remote);
    ASSERT_GE(client, 0);
    // The channel open reaches skiv ahead of the shell's answer on the same connection.
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
    close(client);
    skiv->send("exit\r");
    EXPECT_EQ(skiv->waitExit(), 0);
    close(filler);
    close(stalled);
}

} // namespace
} // namespace tarvik
