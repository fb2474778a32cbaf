#pragma once

#include "engine/keys/KeyPair.h"

namespace tarvik {

// The private-key file OpenSSH writes by default, unencrypted, armoured.
SecretString toOpenSshText(const KeyPair& key);

enum class OpenSshRead { ok, needsPassphrase, failed };

// Reads a private key file that OpenSSH's tools write: its own format
// (unencrypted; an encrypted one answers needsPassphrase) or PEM/PKCS#8
// (decrypted with `passphrase` when encrypted).
OpenSshRead fromOpenSshText(std::string_view text, const SecretString* passphrase, KeyPair& key,
                            std::string& error);

// True for OpenSSH's own format with a cipher other than "none".
bool isEncryptedOpenSshText(std::string_view text);

} // namespace tarvik
