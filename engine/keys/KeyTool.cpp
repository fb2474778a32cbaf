#include "engine/keys/KeyTool.h"

#include "engine/keys/KeyFileIO.h"
#include "engine/keys/OpenSshCipher.h"
#include "engine/keys/OpenSshKey.h"
#include "engine/keys/OpkFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr int passphraseAttempts = 3;
constexpr size_t secretCapacity = 1024;
constexpr const char* usage = "usage: tarvik-key info FILE | to-openssh IN.opk OUT | to-opk IN OUT.opk "
                              "[--version 2|3] [--comment TEXT]";

struct Failure {
    std::string message;
};

void say(const std::string& text) {
    std::string line = text + "\n";
    [[maybe_unused]] auto n = write(STDERR_FILENO, line.data(), line.size());
}

// Echo stays off only while a prompt waits: a signal that ends the program
// (Ctrl-C, a closed terminal) puts the user's settings back before it acts.
class QuietTerminal {
  public:
    QuietTerminal() {
        if (isatty(STDIN_FILENO) != 1 || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        struct sigaction restore {};
        restore.sa_handler = restoreAndRaise;
        sigemptyset(&restore.sa_mask);
        for (size_t i = 0; i < std::size(signals_); ++i)
            sigaction(signals_[i], &restore, &previous_[i]);
        struct termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ICANON | ECHONL;
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (!active_) restoreHandlers();
    }
    ~QuietTerminal() {
        if (!active_) return;
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        active_ = false;
        restoreHandlers();
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

  private:
    static void restoreAndRaise(int signal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        ::signal(signal, SIG_DFL);
        raise(signal);
    }
    void restoreHandlers() {
        for (size_t i = 0; i < std::size(signals_); ++i)
            sigaction(signals_[i], &previous_[i], nullptr);
    }

    static inline struct termios saved_ {};
    static constexpr int signals_[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(signals_)]{};
    bool active_ = false;
};

// A line from standard input, without echo when it is a terminal. False at end of input.
bool readSecretLine(const std::string& prompt, SecretString& line) {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    QuietTerminal quiet;
    [[maybe_unused]] auto n = write(STDERR_FILENO, prompt.data(), prompt.size());
    line.clear();
    line.reserve(secretCapacity);
    bool any = false;
    char c;
    for (;;) {
        ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        any = true;
        if (c == '\n' || c == '\r') break;
        // Never past the reserved storage: growing it would leave a copy behind.
        if (line.size() + 1 < secretCapacity) line += c;
    }
    c = 0;
    if (!terminal) say("");
    return any;
}

// The passphrase a new file is written with; empty for none.
SecretString newPassphrase(const std::string& path) {
    SecretString first, second;
    if (!readSecretLine("New passphrase for " + path + " (empty for none): ", first) || first.empty())
        return {};
    if (!readSecretLine("The same passphrase again: ", second) || first != second)
        throw Failure{"the passphrases do not match"};
    return first;
}

SecretString readInput(const std::string& path) {
    SecretString text;
    std::string error;
    if (!readKeyFile(path, OpkLimits::fileBytes, text, error)) throw Failure{path + ": " + error};
    return text;
}

void writeOutput(const std::string& path, std::string_view data) {
    std::string error;
    if (!writeKeyFile(path, data, error)) throw Failure{error};
}

OpkFile parseOpkInput(const std::string& path) {
    OpkFile file;
    std::string error;
    if (!parseOpk(readInput(path), file, error)) throw Failure{path + ": " + error};
    return file;
}

KeyPair unlockOpkInput(const std::string& path, const OpkFile& file) {
    KeyPair key;
    std::string error;
    if (!file.encrypted) {
        if (unlockOpk(file, {}, key, error) != OpkUnlock::ok) throw Failure{path + ": " + error};
        return key;
    }
    for (int attempt = 0; attempt < passphraseAttempts; ++attempt) {
        SecretString passphrase;
        if (!readSecretLine("Passphrase for key \"" + printableComment(file.comment) + "\": ", passphrase))
            break;
        switch (unlockOpk(file, view(passphrase), key, error)) {
        case OpkUnlock::ok:
            return key;
        case OpkUnlock::damaged:
            throw Failure{path + ": " + error};
        case OpkUnlock::wrongPassphrase:
            say("wrong passphrase");
            break;
        }
    }
    throw Failure{path + ": no correct passphrase given"};
}

KeyPair readOpenSshInput(const std::string& path) {
    const SecretString text = readInput(path);
    KeyPair key;
    std::string error;
    OpenSshRead result = fromOpenSshText(text, nullptr, key, error);
    for (int attempt = 0; result == OpenSshRead::needsPassphrase && attempt < passphraseAttempts; ++attempt) {
        SecretString passphrase;
        if (!readSecretLine("Passphrase for " + path + ": ", passphrase)) break;
        if (isEncryptedOpenSshText(text)) {
            SecretString plain;
            if (!decryptOpenSshText(text, passphrase, plain, error)) {
                say(error);
                continue;
            }
            result = fromOpenSshText(plain, nullptr, key, error);
        } else {
            result = fromOpenSshText(text, &passphrase, key, error);
            if (result == OpenSshRead::failed && error == "wrong passphrase") {
                say(error);
                result = OpenSshRead::needsPassphrase;
            }
        }
    }
    if (result == OpenSshRead::needsPassphrase) throw Failure{path + ": no correct passphrase given"};
    if (result == OpenSshRead::failed) throw Failure{path + ": " + error};
    size_t used = 0;
    if (auto reason = checkPublicBlob(key.algorithm, key.publicBlob); !reason.empty())
        throw Failure{path + ": " + reason};
    if (auto reason = checkPrivateFields(key.algorithm, key.publicBlob, key.privateFields, used);
        !reason.empty())
        throw Failure{path + ": " + reason};
    return key;
}

int info(const std::string& path) {
    const OpkFile file = parseOpkInput(path);
    std::string text = "Algorithm: " + keyAlgorithmName(file.algorithm) +
                       "\nComment: " + printableComment(file.comment) +
                       "\nFingerprint: " + file.fingerprint() + "\nVersion: " + std::to_string(file.version) +
                       "\nEncrypted: " + (file.encrypted ? "yes (aes256-cbc)" : "no") + "\n";
    std::cout << text;
    return 0;
}

int toOpenSsh(const std::string& in, const std::string& out) {
    const OpkFile file = parseOpkInput(in);
    if (file.algorithm == KeyAlgorithm::ed448) throw Failure{in + ": OpenSSH has no ssh-ed448 keys"};
    const KeyPair key = unlockOpkInput(in, file);
    const SecretString passphrase = newPassphrase(out);
    SecretString text = toOpenSshText(key);
    if (!passphrase.empty()) {
        SecretString encrypted;
        std::string error;
        if (!encryptOpenSshText(text, passphrase, encrypted, error)) throw Failure{error};
        text = std::move(encrypted);
    }
    writeOutput(out, text);
    return 0;
}

int toOpk(const std::string& in, const std::string& out, int version, const std::string* comment) {
    KeyPair key = readOpenSshInput(in);
    if (comment) key.comment = *comment;
    const SecretString passphrase = newPassphrase(out);
    const SecretString text = writeOpk(key, version, view(passphrase));
    if (text.empty()) throw Failure{"cannot derive the file's keys"};
    writeOutput(out, text);
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "info") return info(args[1]);
    if (args.size() == 3 && args[0] == "to-openssh") return toOpenSsh(args[1], args[2]);
    if (args.size() >= 3 && args[0] == "to-opk") {
        int version = 3;
        std::optional<std::string> comment;
        for (size_t i = 3; i < args.size(); i += 2) {
            if (i + 1 >= args.size()) return -1;
            if (args[i] == "--version" && (args[i + 1] == "2" || args[i + 1] == "3"))
                version = args[i + 1][0] - '0';
            else if (args[i] == "--comment" && args[i + 1].find_first_of("\r\n") == std::string::npos)
                comment = args[i + 1];
            else
                return -1;
        }
        return toOpk(args[1], args[2], version, comment ? &*comment : nullptr);
    }
    return -1;
}

} // namespace

int runKeyTool(const std::vector<std::string>& args) {
    try {
        int status = run(args);
        if (status >= 0) return status;
        say(usage);
        return 2;
    } catch (const Failure& failure) {
        say("tarvik-key: " + failure.message);
    } catch (const std::exception& error) {
        say(std::string("tarvik-key: ") + error.what());
    }
    return 1;
}

} // namespace tarvik
