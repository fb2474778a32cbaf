#pragma once

#include "engine/keys/Bytes.h"

namespace tarvik {

// OpenSSH protects its own key files with bcrypt_pbkdf, which libcrypto does
// not offer; these let OpenSSH's ssh-keygen add or remove the protection on a
// copy that lives only in memory (an anonymous memory file, never on disk).
bool encryptOpenSshText(std::string_view plain, const SecretString& passphrase, SecretString& out,
                        std::string& error);
bool decryptOpenSshText(std::string_view encrypted, const SecretString& passphrase, SecretString& out,
                        std::string& error);

} // namespace tarvik
