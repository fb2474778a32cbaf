#include "engine/KnownHosts.h"

#include "engine/Failure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <pwd.h>
#include <sys/stat.h>
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

std::string base64(const unsigned char* data, size_t size) {
    std::string text(4 * ((size + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data, static_cast<int>(size));
    text.resize(static_cast<size_t>(n));
    return text;
}

// "|1|salt|HMAC-SHA1(salt, name)", both in base64: the form OpenSSH writes
// when it hashes host names, so the file tells a reader nothing about where
// the user goes while lookups still match.
std::string hashedName(const std::string& name) {
    unsigned char salt[20];
    if (RAND_bytes(salt, sizeof salt) != 1) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), salt, sizeof salt, reinterpret_cast<const unsigned char*>(name.data()), name.size(),
              digest, &length))
        return {};
    return "|1|" + base64(salt, sizeof salt) + "|" + base64(digest, length);
}

// Appends the server's key under the hashed name; returns false with errno set on failure.
bool appendEntry(ssh_session session, const std::string& path) {
    char* entry = nullptr;
    if (ssh_session_export_known_hosts_entry(session, &entry) != SSH_OK || !entry) {
        errno = EINVAL;
        return false;
    }
    std::string line = entry;
    ssh_string_free_char(entry);
    const size_t space = line.find(' ');
    const std::string hashed = space == std::string::npos ? "" : hashedName(line.substr(0, space));
    if (hashed.empty()) {
        errno = EINVAL;
        return false;
    }
    line = hashed + line.substr(space);
    if (line.back() != '\n') line += '\n';
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // A file that does not end its last line gets the line break first.
    struct stat info {};
    char last = '\n';
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
        if (pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') line.insert(0, "\n");
    }
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const int error = errno;
    close(fd);
    errno = written ? 0 : error;
    return written;
}

void store(ssh_session session, const std::string& path) {
    std::error_code ignored;
    auto folder = std::filesystem::path(path).parent_path();
    // Created private: the folder may hold keys as well.
    if (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
        std::filesystem::create_directories(folder, ignored);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    }
    if (!appendEntry(session, path))
        Console::message("could not add the host key to " + path + ": " + std::strerror(errno));
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
