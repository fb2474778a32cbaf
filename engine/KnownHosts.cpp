#include "engine/KnownHosts.h"

#include "engine/Failure.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace tarvik {

namespace {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

struct KeyDescription {
    std::string type;
    std::string fingerprint;
};

KeyDescription describeServerKey(ssh_session session) {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session, &key) != SSH_OK) throw Failure("the server sent no host key");
    std::unique_ptr<ssh_key_struct, void (*)(ssh_key)> owner(key, ssh_key_free);
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        throw Failure("cannot compute the host key fingerprint");
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    KeyDescription description{ssh_key_type_to_char(ssh_key_type(key)), text ? text : "?"};
    ssh_string_free_char(text);
    return description;
}

bool askToTrust(Console& console, const std::string& host, const KeyDescription& key) {
    std::string question = "The authenticity of host '" + host + "' can't be established.\n" + key.type +
                           " key fingerprint is " + key.fingerprint +
                           ".\nAre you sure you want to continue connecting (yes/no)? ";
    std::string answer;
    for (;;) {
        if (!console.readLine(question, answer, true)) return false;
        if (answer == "yes") return true;
        if (answer == "no") return false;
        question = "Please type 'yes' or 'no': ";
    }
}

void store(ssh_session session, const std::string& path) {
    std::error_code ignored;
    auto folder = std::filesystem::path(path).parent_path();
    // Created private: the folder may hold keys as well.
    if (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
        std::filesystem::create_directories(folder, ignored);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    }
    if (ssh_session_update_known_hosts(session) != SSH_OK)
        Console::message("could not add the host key to " + path + ": " + ssh_get_error(session));
}

} // namespace

std::string knownHostsPath() {
    if (const char* dir = std::getenv("ORVELDIR"); dir && *dir) return std::string(dir) + "/known_hosts";
    return homeDirectory() + "/.ssh/known_hosts";
}

void verifyHostKey(ssh_session session, Console& console, const std::string& host, const std::string& path) {
    switch (ssh_session_is_known_server(session)) {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_CHANGED: {
        KeyDescription key = describeServerKey(session);
        throw Failure("WARNING: the host key of " + host +
                      " has changed! Someone may be intercepting the "
                      "connection.\r\nThe " +
                      key.type + " key sent is " + key.fingerprint +
                      ".\r\nIf the change is expected, remove the old key from " + path +
                      ". Connection refused.");
    }
    case SSH_KNOWN_HOSTS_OTHER:
        throw Failure("WARNING: " + host + " sent a host key of a different type than the one stored in " +
                      path + ". Connection refused.");
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: {
        KeyDescription key = describeServerKey(session);
        if (!askToTrust(console, host, key)) throw Failure("host key not accepted; connection abandoned");
        store(session, path);
        return;
    }
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        throw Failure("cannot check the host key: " + std::string(ssh_get_error(session)));
    }
}

} // namespace tarvik
