#include "engine/OpkIdentity.h"

#include "engine/keys/KeyFileIO.h"
#include "engine/keys/OpenSshKey.h"
#include "engine/keys/OpkFile.h"

namespace tarvik {

namespace {

constexpr int passphraseAttempts = 3;

ssh_key refuse(const std::string& path, const std::string& reason) {
    Console::message("cannot use key file " + path + ": " + reason);
    return nullptr;
}

// Reads the passphrase and opens the private half; false when the user gave up.
bool unlock(Console& console, const std::string& path, const OpkFile& file, KeyPair& key,
            std::string& error) {
    if (!file.encrypted) return unlockOpk(file, {}, key, error) == OpkUnlock::ok;
    for (int attempt = 0; attempt < passphraseAttempts; ++attempt) {
        // Read into storage the console reserves up front and wiped whole here: a
        // copy could sit in a short string's inline buffer, which nothing wipes.
        std::string answer;
        if (!console.readLine("Passphrase for key \"" + printableComment(file.comment) + "\": ", answer,
                              false)) {
            Console::wipe(answer);
            break;
        }
        const OpkUnlock result = unlockOpk(file, view(answer), key, error);
        Console::wipe(answer);
        switch (result) {
        case OpkUnlock::ok:
            return true;
        case OpkUnlock::damaged:
            return false;
        case OpkUnlock::wrongPassphrase:
            Console::message("wrong passphrase for key file " + path);
            break;
        }
    }
    error = "no correct passphrase given";
    return false;
}

} // namespace

ssh_key loadOpkIdentity(Console& console, const std::string& path) {
    SecretString text;
    std::string error;
    OpkFile file;
    if (!readKeyFile(path, OpkLimits::fileBytes, text, error) || !parseOpk(text, file, error))
        return refuse(path, error);
    // Checked before the passphrase is asked: it would be asked in vain.
    if (file.algorithm == KeyAlgorithm::ed448) return refuse(path, "libssh does not support ssh-ed448 keys");
    // libssh leaves DSA out of the signature algorithms it offers; the key would only be turned away.
    if (file.algorithm == KeyAlgorithm::dss) return refuse(path, "libssh no longer signs with ssh-dss keys");
    KeyPair key;
    if (!unlock(console, path, file, key, error)) return refuse(path, error);
    // libssh takes the key from memory in OpenSSH's own format.
    const SecretString openSsh = toOpenSshText(key);
    ssh_key loaded = nullptr;
    if (ssh_pki_import_privkey_base64(openSsh.c_str(), nullptr, nullptr, nullptr, &loaded) != SSH_OK)
        return refuse(path, "libssh does not accept this " + keyAlgorithmName(key.algorithm) + " key");
    return loaded;
}

} // namespace tarvik
