// skiv against SSH servers that attack the user: each server is a scripted
// peer that reports what it achieved into the shell, where the test reads it.
#include "Harness.h"

#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace tarvik {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr const char* python = "/usr/bin/python3";

// The end of a flooded terminal, where a sanitizer's report would be.
std::string tail(const std::string& output) {
    return output.size() > 3000 ? output.substr(output.size() - 3000) : output;
}

class HostileSsh : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(python, X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'import paramiko' 2>/dev/null") != 0)
            GTEST_SKIP() << "python3-paramiko is not installed";
        dir_ = makeTempDir("skiv-hostile-");
        run("ssh-keygen -q -t ed25519 -N '' -f " + (dir_ / "host_key").string());
        agent_ = std::make_unique<TestAgent>(dir_);
    }
    void TearDown() override {
        server_.reset();
        agent_.reset();
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    // Starts the attack and connects skiv to it, the server's key already trusted.
    std::unique_ptr<PtyRunner> attack(const std::string& name, const std::vector<std::string>& flags,
                                      const std::string& argument = "0",
                                      std::vector<std::string> forwards = {}) {
        server_ = std::make_unique<Helper>(std::vector<std::string>{
            python, PEERS_DIR "/hostile_ssh.py", (dir_ / "host_key").string(), name, argument});
        const std::string port = server_->readLine();
        if (port.empty()) throw std::runtime_error("the hostile server did not start");
        std::string pub = readFile(dir_ / "host_key.pub");
        std::ofstream(dir_ / "known_hosts")
            << "[127.0.0.1]:" << port << " " << pub.substr(0, pub.rfind(' ')) << "\n";
        std::vector<std::string> args{"-ssh", "-P",           port, "-l", getpwuid(getuid())->pw_name,
                                      "-t",   "-no-antispoof"};
        args.insert(args.end(), flags.begin(), flags.end());
        args.insert(args.end(), forwards.begin(), forwards.end());
        args.push_back("127.0.0.1");
        return std::make_unique<PtyRunner>(
            args, std::map<std::string, std::string>{{"ORVELDIR", dir_.string()},
                                                     {"SSH_AUTH_SOCK", agent_->socket()}});
    }

    // The session is still alive and responsive after the attack; Ctrl-D ends it.
    static void expectShellStillWorks(PtyRunner& skiv) {
        skiv.send("still here\r");
        EXPECT_TRUE(skiv.waitFor("still here")) << skiv.output();
        skiv.send("\x04");
        EXPECT_EQ(skiv.waitExit(), 0) << skiv.output();
    }

    fs::path dir_;
    std::unique_ptr<TestAgent> agent_;
    std::unique_ptr<Helper> server_;
};

TEST_F(HostileSsh, AgentChannelTheServerOpensUnaskedIsRefused) {
    // "-a" is what every profile without agent forwarding passes; no flag at all must mean the same.
    for (const std::vector<std::string>& flags :
         {std::vector<std::string>{"-a"}, std::vector<std::string>{}}) {
        SCOPED_TRACE(flags.empty() ? "no flag" : "-a");
        auto skiv = attack("agent-unasked", flags);
        ASSERT_TRUE(skiv->waitFor("attack over")) << skiv->output();
        EXPECT_NE(skiv->output().find("agent channel refused"), std::string::npos) << skiv->output();
        EXPECT_EQ(skiv->output().find("agent keys:"), std::string::npos);
        expectShellStillWorks(*skiv);
    }
}

TEST_F(HostileSsh, ForwardedAgentAnswersButOnlyOnALimitedNumberOfChannels) {
    auto skiv = attack("agent-forwarded", {"-A"});
    ASSERT_TRUE(skiv->waitFor("attack over")) << skiv->output();
    EXPECT_NE(skiv->output().find("agent keys: 1"), std::string::npos) << skiv->output();
    // 41 asked for at once: the cap admits 8.
    EXPECT_NE(skiv->output().find("agent channels accepted: 8\r"), std::string::npos) << skiv->output();
    expectShellStillWorks(*skiv);
}

TEST_F(HostileSsh, AgentChannelsOpeningDuringAnOutputFloodDoNotCorruptMemory) {
    // The server floods for two seconds; channels open and close all the while.
    auto skiv = attack("flood", {"-A"}, "2");
    ASSERT_TRUE(skiv->waitFor("flood done, agent channels opened: ", 30s)) << tail(skiv->output());
    ASSERT_TRUE(skiv->waitFor("attack over"));
    expectShellStillWorks(*skiv);
}

TEST_F(HostileSsh, ShellKeepsEchoingWhileTheServerDelaysAForwardedChannel) {
    // The server took ten seconds; three show the same as long as the echo comes first.
    const uint16_t local = unusedPort();
    auto skiv = attack("slow-forward", {"-a"}, "3", {"-L", std::to_string(local) + ":127.0.0.1:9"});
    ASSERT_TRUE(skiv->waitFor("attack over")) << skiv->output();
    int forwarded = connectLoopback(local);
    ASSERT_GE(forwarded, 0);
    writeAll(forwarded, "ping");
    skiv->send("typed meanwhile\r");
    ASSERT_TRUE(skiv->waitFor("typed meanwhile")) << skiv->output();
    EXPECT_EQ(skiv->output().find("forward answered"), std::string::npos) << "the echo waited for the open";
    EXPECT_NE(readUntil(forwarded, "forwarded:ping").find("forwarded:ping"), std::string::npos);
    EXPECT_TRUE(skiv->waitFor("forward answered"));
    close(forwarded);
    expectShellStillWorks(*skiv);
}

} // namespace
} // namespace tarvik
