#include "engine/SshAuth.h"

#include "engine/Failure.h"
#include "engine/OpkIdentity.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr int passwordAttempts = 3;

struct PassphraseContext {
    Console* console;
    std::string path;
    bool asked = false;
};

int askPassphrase(const char*, char* buffer, size_t length, int, int, void* userdata) {
    auto* context = static_cast<PassphraseContext*>(userdata);
    context->asked = true;
    std::string answer;
    if (length == 0 ||
        !context->console->readLine("Passphrase for key " + context->path + ": ", answer, false))
        return -1;
    size_t n = std::min(answer.size(), length - 1);
    std::memcpy(buffer, answer.data(), n);
    buffer[n] = '\0';
    Console::wipe(answer);
    return 0;
}

bool tryAgent(ssh_session session, const Options& options) {
    const char* socket = std::getenv("SSH_AUTH_SOCK");
    if (!options.useAgent || !socket || !*socket) return false;
    return ssh_userauth_agent(session, nullptr) == SSH_AUTH_SUCCESS;
}

bool tryKeyFile(ssh_session session, Console& console, const std::string& path) {
    if (path.empty()) return false;
    if (access(path.c_str(), R_OK) != 0) {
        Console::message("cannot read key file " + path + ": " + std::strerror(errno));
        return false;
    }
    PassphraseContext context{&console, path};
    const bool opk = isOpkKeyFile(path);
    ssh_key key = opk ? loadOpkIdentity(console, path) : nullptr;
    if (opk && !key) return false;
    for (int attempt = 0; attempt < passwordAttempts && !key; ++attempt) {
        context.asked = false;
        if (ssh_pki_import_privkey_file(path.c_str(), nullptr, askPassphrase, &context, &key) == SSH_OK)
            break;
        key = nullptr;
        if (!context.asked) break;
    }
    if (!key) {
        Console::message("cannot load key file " + path);
        return false;
    }
    int rc = ssh_userauth_publickey(session, nullptr, key);
    ssh_key_free(key);
    return rc == SSH_AUTH_SUCCESS;
}

bool tryKeyboardInteractive(ssh_session session, Console& console) {
    int rc = ssh_userauth_kbdint(session, nullptr, nullptr);
    while (rc == SSH_AUTH_INFO) {
        for (const char* text :
             {ssh_userauth_kbdint_getname(session), ssh_userauth_kbdint_getinstruction(session)})
            if (text && *text) {
                std::string line = std::string(text) + "\n";
                Console::writeAll(STDERR_FILENO, line.data(), line.size());
            }
        const int count = ssh_userauth_kbdint_getnprompts(session);
        for (int i = 0; i < count; ++i) {
            char echo = 0;
            const char* prompt = ssh_userauth_kbdint_getprompt(session, static_cast<unsigned>(i), &echo);
            std::string answer;
            if (!console.readLine(prompt ? prompt : "", answer, echo != 0)) return false;
            ssh_userauth_kbdint_setanswer(session, static_cast<unsigned>(i), answer.c_str());
            Console::wipe(answer);
        }
        rc = ssh_userauth_kbdint(session, nullptr, nullptr);
    }
    return rc == SSH_AUTH_SUCCESS;
}

bool tryPassword(ssh_session session, Console& console, const std::string& user, const std::string& host) {
    for (int attempt = 0; attempt < passwordAttempts; ++attempt) {
        std::string password;
        if (!console.readLine(user + "@" + host + "'s password: ", password, false)) return false;
        int rc = ssh_userauth_password(session, nullptr, password.c_str());
        Console::wipe(password);
        if (rc == SSH_AUTH_SUCCESS) return true;
        if (rc == SSH_AUTH_ERROR) return false;
        Console::message("permission denied, please try again");
    }
    return false;
}

} // namespace

bool isOpkKeyFile(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".opk") == 0) return true;
    static constexpr std::string_view signature = "Orvel-User-Key-File-";
    std::ifstream file(path, std::ios::binary);
    std::string head(signature.size(), '\0');
    return file.read(head.data(), static_cast<std::streamsize>(head.size())) && head == signature;
}

void authenticate(ssh_session session, Console& console, const Options& options, const std::string& user) {
    int rc = ssh_userauth_none(session, nullptr);
    if (rc == SSH_AUTH_SUCCESS) return;
    if (rc == SSH_AUTH_ERROR) throw Failure("authentication failed: " + std::string(ssh_get_error(session)));
    const int methods = ssh_userauth_list(session, nullptr);
    if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
        if (tryAgent(session, options)) return;
        if (tryKeyFile(session, console, options.identityFile)) return;
    }
    if ((methods & SSH_AUTH_METHOD_INTERACTIVE) && tryKeyboardInteractive(session, console)) return;
    if ((methods & SSH_AUTH_METHOD_PASSWORD) && tryPassword(session, console, user, options.host)) return;
    throw Failure("authentication failed for " + user + "@" + options.host + ": no more methods to try");
}

} // namespace tarvik
