// tarvik-key against keys that ssh-keygen writes and checks.
#include "Harness.h"
#include "OpkTestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

namespace tarvik {
namespace {

using namespace test;
namespace fs = std::filesystem;

class KeyTool : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = makeKeyTempDir("tarvik-key-test-"); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string publicKey(const std::string& file, const std::string& passphrase = "") {
        const std::string out = file + ".check";
        runShell("ssh-keygen -y -P '" + passphrase + "' -f " + file + " > " + out);
        std::string line = slurp(out);
        fs::remove(out);
        line = line.substr(0, line.find('\n'));
        // Type and key; the comment may differ.
        return line.substr(0, line.find(' ', line.find(' ') + 1));
    }
    static std::string fingerprint(const std::string& pub) {
        runShell("ssh-keygen -lf " + pub + " > " + pub + ".fp");
        std::string line = slurp(pub + ".fp");
        return line.substr(line.find(' ') + 1, line.find(' ', line.find(' ') + 1) - line.find(' ') - 1);
    }
    // A signature made with `key` that the original public key verifies.
    void expectSignatureVerifies(const std::string& key, const std::string& pub) {
        std::ofstream(path("data")) << "signed by the converted key\n";
        runShell("ssh-keygen -q -Y sign -f " + key + " -n test " + path("data") + " 2>/dev/null");
        EXPECT_EQ(std::system(("ssh-keygen -q -Y check-novalidate -n test -f " + pub + " -s " +
                               path("data.sig") + " < " + path("data") + " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        fs::remove(path("data.sig"));
    }
    fs::path dir_;
};

TEST_F(KeyTool, ConvertsEveryKindOfOpenSshKeyToOpkAndBack) {
    // type, ssh-keygen format, passphrase protecting the OpenSSH input
    const struct {
        std::string type, format, passphrase;
    } inputs[] = {
        {"ed25519", "", ""},
        {"ecdsa-256", "", ""},
        {"ecdsa-384", "", ""},
        {"ecdsa-521", "", ""},
        {"rsa", "", ""},
        {"dsa", "", ""},
        {"ed25519", "", "old secret"},
        {"rsa", "PEM", "old secret"},
        {"ecdsa-256", "PKCS8", ""},
    };
    for (const auto& in : inputs) {
        SCOPED_TRACE(in.type + " " + in.format + " '" + in.passphrase + "'");
        const std::string source = path("source"), pub = source + ".pub";
        generateKey(in.type, source, in.passphrase, in.format);
        const std::string old = in.passphrase.empty() ? "" : in.passphrase + "\n";
        for (int version : {2, 3})
            for (const std::string secret : {"", "new secret"}) {
                const std::string opk = path("key.opk"), back = path("back");
                const std::string answers = old + (secret.empty() ? "\n" : secret + "\n" + secret + "\n");
                ToolRun to = runKeyTool("to-opk " + source + " " + opk + " --version " +
                                            std::to_string(version) + " --comment 'moved key'",
                                        answers);
                ASSERT_EQ(to.status, 0) << to.err;
                ToolRun info = runKeyTool("info " + opk);
                EXPECT_NE(info.out.find("Fingerprint: " + fingerprint(pub) + "\n"), std::string::npos)
                    << info.out;
                EXPECT_NE(info.out.find("Comment: moved key\n"), std::string::npos);
                EXPECT_NE(info.out.find("Version: " + std::to_string(version) + "\n"), std::string::npos);
                EXPECT_NE(info.out.find(secret.empty() ? "Encrypted: no" : "Encrypted: yes"),
                          std::string::npos);
                ToolRun from =
                    runKeyTool("to-openssh " + opk + " " + back, secret.empty() ? "\n" : secret + "\n\n");
                ASSERT_EQ(from.status, 0) << from.err;
                EXPECT_EQ(publicKey(back), publicKey(source, in.passphrase));
                EXPECT_EQ(fs::status(back).permissions() & fs::perms::all,
                          fs::perms::owner_read | fs::perms::owner_write);
                expectSignatureVerifies(back, pub);
                fs::remove(opk);
                fs::remove(back);
            }
        fs::remove(source);
        fs::remove(pub);
    }
}

TEST_F(KeyTool, WritesPassphraseProtectedOpenSshKeys) {
    generateKey("ecdsa-384", path("source"));
    ASSERT_EQ(runKeyTool("to-opk " + path("source") + " " + path("k.opk"), "\n").status, 0);
    ToolRun run = runKeyTool("to-openssh " + path("k.opk") + " " + path("back"), "fresh one\nfresh one\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(std::system(("ssh-keygen -y -P '' -f " + path("back") + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(publicKey(path("back"), "fresh one"), publicKey(path("source")));
}

TEST_F(KeyTool, UsageErrorsAndFailuresLeaveNothingBehind) {
    generateKey("ed25519", path("source"));
    ASSERT_EQ(runKeyTool("to-opk " + path("source") + " " + path("locked.opk"), "pw\npw\n").status, 0);
    std::ofstream(path("existing")) << "keep me";
    const struct {
        std::string args, input;
        int status;
        std::string message;
    } cases[] = {
        {"", "", 2, "usage: tarvik-key info FILE"},
        {"info", "", 2, "usage: tarvik-key "},
        {"to-opk " + path("source"), "", 2, "usage: tarvik-key "},
        {"to-opk " + path("source") + " " + path("out") + " --version 4", "", 2, "usage: tarvik-key "},
        {"to-opk " + path("source") + " " + path("out") + " --comment", "", 2, "usage: tarvik-key "},
        {"info " + path("missing"), "", 1, "tarvik-key: " + path("missing") + ": No such file or directory"},
        {"info " + path("source"), "", 1, "tarvik-key: " + path("source") + ": not an OPK key file"},
        {"to-openssh " + path("locked.opk") + " " + path("out"), "a\nb\nc\n", 1,
         "no correct passphrase given"},
        {"to-openssh " + path("locked.opk") + " " + path("existing"), "pw\n\n", 1,
         path("existing") + " already exists"},
        {"to-opk " + path("source") + " " + path("out"), "one\ntwo\n", 1, "the passphrases do not match"},
    };
    for (const auto& c : cases) {
        ToolRun run = runKeyTool(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << c.args;
        // Prompts aside, one line: the message.
        const std::string last = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
        EXPECT_EQ(last.rfind(c.status == 2 ? "usage: " : "tarvik-key: ", 0), 0u) << c.args << "\n" << run.err;
        EXPECT_NE(last.find(c.message), std::string::npos) << c.args << "\n" << run.err;
    }
    EXPECT_EQ(slurp(path("existing")), "keep me");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"existing", "locked.opk", "source", "source.pub"}));
}

TEST_F(KeyTool, InfoNeverShowsThePrivateKey) {
    generateKey("rsa", path("source"));
    ASSERT_EQ(runKeyTool("to-opk " + path("source") + " " + path("k.opk"), "\n").status, 0);
    const std::string text = slurp(path("k.opk"));
    const size_t start = text.find('\n', text.find("Private-Lines:")) + 1;
    const std::string privateLine = text.substr(start, 32);
    ToolRun info = runKeyTool("info " + path("k.opk"));
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out.find(privateLine), std::string::npos);
    EXPECT_EQ(info.out.find("Private"), std::string::npos);
}

// At a passphrase prompt on a terminal: a comment from a foreign file cannot
// send control sequences, and Ctrl-C ends the tool with the echo back on.
TEST_F(KeyTool, APassphrasePromptShowsNoControlCharactersAndCtrlCRestoresTheTerminal) {
    generateKey("ed25519", path("source"));
    ASSERT_EQ(runKeyTool("to-opk " + path("source") + " " + path("k.opk") +
                             " --comment \"$(printf 'x\\033]0;owned\\007y')\"",
                         "pw\npw\n")
                  .status,
              0);
    PtyRunner tool(PtyRunner::Program{TARVIK_KEY_PATH}, {"to-openssh", path("k.opk"), path("out")});
    ASSERT_TRUE(tool.waitFor("Passphrase for key \"x?]0;owned?y\": ")) << tool.output();
    struct termios prompting {};
    ASSERT_EQ(tcgetattr(tool.master(), &prompting), 0);
    EXPECT_EQ(prompting.c_lflag & ECHO, 0u);
    tool.send("\x03");
    EXPECT_EQ(tool.waitExit(), 128 + SIGINT);
    struct termios after {};
    ASSERT_EQ(tcgetattr(tool.master(), &after), 0);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
    EXPECT_FALSE(fs::exists(path("out")));
}

} // namespace
} // namespace tarvik
