#pragma once

#include "engine/keys/KeyPair.h"
#include "engine/keys/OpkCrypto.h"

namespace tarvik {

// Bounds a reader holds every file to, so that a hostile file costs little.
struct OpkLimits {
    static constexpr size_t fileBytes = 1 << 20;
    static constexpr uint32_t blobLines = 1000;
    static constexpr uint32_t argon2MemoryKiB = 1 << 20;
    static constexpr uint32_t argon2Passes = 1000;
    static constexpr uint32_t argon2Lanes = 64;
};

struct Argon2Parameters {
    Argon2Flavour flavour = Argon2Flavour::id;
    uint32_t memoryKiB = 8192;
    uint32_t passes = 13;
    uint32_t lanes = 1;
    Bytes salt;
};

// An OPK key file as read, before the passphrase is known.
struct OpkFile {
    int version = 3;
    KeyAlgorithm algorithm = KeyAlgorithm::ed25519;
    bool encrypted = false;
    std::string comment;
    Bytes publicBlob;
    Argon2Parameters argon2; // version 3, encrypted only
    Bytes privateBlob;       // as stored: ciphertext when encrypted
    Bytes mac;

    std::string fingerprint() const { return sha256Fingerprint(publicBlob); }
};

// The comment as it may be shown on a terminal: a key file from elsewhere could
// carry control characters (C0, DEL, C1) that would move the cursor or set a
// title; each becomes '?'. The stored comment is left as it is.
std::string printableComment(std::string_view comment);

// Everything that can be checked without the passphrase; the reason otherwise.
bool parseOpk(std::string_view text, OpkFile& file, std::string& error);

enum class OpkUnlock { ok, wrongPassphrase, damaged };

// Decrypts (with `passphrase` when encrypted), checks the MAC in constant time
// and then the private fields; only then is `key` filled in.
OpkUnlock unlockOpk(const OpkFile& file, ByteView passphrase, KeyPair& key, std::string& error);

// A complete file; an empty passphrase writes it unencrypted.
SecretString writeOpk(const KeyPair& key, int version, ByteView passphrase,
                      const Argon2Parameters& argon2 = Argon2Parameters{});

} // namespace tarvik
