// skiv signing in with OPK keys against a throw-away OpenSSH server on 127.0.0.1.
#include "Harness.h"
#include "OpkTestSupport.h"

#include <csignal>
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
const std::vector<std::string> keyTypes{"ed25519", "ecdsa-256", "ecdsa-384", "ecdsa-521", "rsa", "dsa"};
constexpr const char* passphrase = "correct horse";

// Accepts every test key, and passwords too, so that falling through to the next method shows.
class KeySshd {
  public:
    KeySshd() : dir_(makeKeyTempDir("skiv-opk-sshd-")) {
        generateKey("ed25519", dir_ / "host_key");
        std::ofstream authorized(dir_ / "authorized_keys");
        for (const auto& type : keyTypes) {
            generateKey(type, key(type));
            authorized << slurp(key(type).string() + ".pub");
        }
        authorized.close();
        sshd_ =
            std::make_unique<Sshd>(dir_, dir_ / "host_key",
                                   "LogLevel DEBUG1\nPasswordAuthentication yes\n"
                                   "KbdInteractiveAuthentication no\nPubkeyAcceptedAlgorithms +ssh-dss\n");
    }
    ~KeySshd() {
        sshd_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    uint16_t port() const { return sshd_->port(); }
    fs::path key(const std::string& type) const { return dir_ / ("id_" + type); }
    std::string log() const { return sshd_->log(); }
    std::string knownHostsLine() const {
        std::string pub = slurp(dir_ / "host_key.pub");
        return "[127.0.0.1]:" + std::to_string(port()) + " " + pub.substr(0, pub.rfind(' ')) + "\n";
    }

  private:
    fs::path dir_;
    std::unique_ptr<Sshd> sshd_;
};

class OpkLogin : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (access(sshdPath, X_OK) == 0) server_ = std::make_unique<KeySshd>();
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!server_) GTEST_SKIP() << sshdPath << " is not installed";
        state_ = makeKeyTempDir("skiv-opk-state-");
        std::ofstream(state_ / "known_hosts") << server_->knownHostsLine();
    }
    void TearDown() override {
        std::error_code ignored;
        if (!state_.empty()) fs::remove_all(state_, ignored);
    }

    // The test key of `type` converted to OPK, encrypted with `passphrase` unless it is empty.
    fs::path convert(const std::string& type, int version, const std::string& secret) {
        fs::path out = state_ / (type + "-v" + std::to_string(version) + ".opk");
        const std::string answers = secret.empty() ? "\n" : secret + "\n" + secret + "\n";
        ToolRun run = runKeyTool("to-opk " + server_->key(type).string() + " " + out.string() +
                                     " --version " + std::to_string(version),
                                 answers);
        if (run.status != 0) throw std::runtime_error("to-opk failed: " + run.err);
        return out;
    }

    std::unique_ptr<PtyRunner> start(const fs::path& key) {
        return std::make_unique<PtyRunner>(
            std::vector<std::string>{"-ssh", "-P", std::to_string(server_->port()), "-l", userName(), "-t",
                                     "-no-antispoof", "-a", "-noagent", "-i", key.string(), "127.0.0.1"},
            std::map<std::string, std::string>{{"ORVELDIR", state_.string()}});
    }

    static bool shellReady(PtyRunner& skiv) {
        skiv.send("echo READY$((20+22))\r");
        return skiv.waitFor("READY42");
    }
    static std::string userName() { return getpwuid(getuid())->pw_name; }
    static std::string prompt(const std::string& type) {
        return "Passphrase for key \"test key " + type + "\": ";
    }

    static std::unique_ptr<KeySshd> server_;
    fs::path state_;
};

std::unique_ptr<KeySshd> OpkLogin::server_;

TEST_F(OpkLogin, SignsInWithEveryAlgorithmInBothVersions) {
    for (const auto& type : {"ed25519", "ecdsa-256", "ecdsa-384", "ecdsa-521", "rsa"}) {
        for (int version : {2, 3}) {
            SCOPED_TRACE(type + std::string(" version ") + std::to_string(version));
            // Version 3 encrypted with the passphrase typed at the prompt; version 2 in the clear.
            const std::string secret = version == 3 ? passphrase : "";
            auto skiv = start(convert(type, version, secret));
            if (!secret.empty()) {
                ASSERT_TRUE(skiv->waitFor(prompt(type))) << skiv->output();
                skiv->send(secret + "\r");
            }
            ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
            skiv->send("exit 5\r");
            EXPECT_EQ(skiv->waitExit(), 5);
            EXPECT_EQ(skiv->output().find("password:"), std::string::npos);
        }
    }
}

TEST_F(OpkLogin, EncryptedVersionTwoKeyAsksForItsPassphrase) {
    auto skiv = start(convert("ed25519", 2, passphrase));
    ASSERT_TRUE(skiv->waitFor(prompt("ed25519")));
    skiv->send(std::string(passphrase) + "\r");
    ASSERT_TRUE(shellReady(*skiv)) << skiv->output();
    skiv->send("exit\r");
    EXPECT_EQ(skiv->waitExit(), 0);
}

TEST_F(OpkLogin, WrongPassphraseThreeTimesFallsThroughToPassword) {
    const fs::path key = convert("ecdsa-256", 3, passphrase);
    auto skiv = start(key);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(skiv->waitFor(prompt("ecdsa-256"))) << skiv->output();
        skiv->send("not it\r");
        ASSERT_TRUE(skiv->waitFor("wrong passphrase for key file " + key.string())) << skiv->output();
    }
    EXPECT_TRUE(skiv->waitFor("cannot use key file " + key.string() + ": no correct passphrase given"));
    ASSERT_TRUE(skiv->waitFor(userName() + "@127.0.0.1's password: ")) << skiv->output();
    EXPECT_EQ(skiv->output().find(prompt("ecdsa-256"), skiv->output().rfind("wrong passphrase")),
              std::string::npos);
}

TEST_F(OpkLogin, KeysLibsshCannotSignWithAreRefusedBeforeThePassphrase) {
    runShell("openssl genpkey -algorithm ed448 -out " + (state_ / "ed448.pem").string() + " 2>/dev/null");
    ToolRun ed448 = runKeyTool("to-opk " + (state_ / "ed448.pem").string() + " " +
                                   (state_ / "ed448.opk").string() + " --comment edwards",
                               std::string(passphrase) + "\n" + passphrase + "\n");
    ASSERT_EQ(ed448.status, 0) << ed448.err;
    const std::vector<std::pair<fs::path, std::string>> cases{
        {state_ / "ed448.opk", "libssh does not support ssh-ed448 keys"},
        {convert("dsa", 3, passphrase), "libssh no longer signs with ssh-dss keys"}};
    for (const auto& [key, reason] : cases) {
        auto skiv = start(key);
        ASSERT_TRUE(skiv->waitFor("cannot use key file " + key.string() + ": " + reason)) << skiv->output();
        ASSERT_TRUE(skiv->waitFor("password: ")) << skiv->output();
        EXPECT_EQ(skiv->output().find("Passphrase for key"), std::string::npos);
    }
}

TEST_F(OpkLogin, AlteredKeyIsRefusedBeforeAnySignature) {
    const fs::path key = convert("ed25519", 3, "");
    std::string text = slurp(key);
    // The comment is covered by the MAC like everything else.
    text.replace(text.find("test key"), 4, "best");
    std::ofstream(key, std::ios::trunc) << text;
    const size_t logStart = server_->log().size();
    auto skiv = start(key);
    ASSERT_TRUE(skiv->waitFor("cannot use key file " + key.string() + ": the MAC does not match"))
        << skiv->output();
    ASSERT_TRUE(skiv->waitFor("password: ")) << skiv->output();
    // The server saw no public key offered, let alone a signature.
    EXPECT_EQ(server_->log().find("userauth_pubkey", logStart), std::string::npos);
}

} // namespace
} // namespace tarvik
