#pragma once

#include "engine/keys/Bytes.h"

#include <optional>

namespace tarvik {

enum class KeyAlgorithm { ed25519, ed448, ecdsaP256, ecdsaP384, ecdsaP521, rsa, dss };

std::optional<KeyAlgorithm> keyAlgorithmNamed(std::string_view name);
std::string keyAlgorithmName(KeyAlgorithm algorithm);

// One SSH key pair in the two blobs key files carry: the public key as SSH
// sends it, and the private fields the public key does not already give
// (Ed25519/Ed448 seed; ECDSA scalar; RSA d, p, q, iqmp; DSA x).
struct KeyPair {
    KeyAlgorithm algorithm = KeyAlgorithm::ed25519;
    std::string comment;
    Bytes publicBlob;
    Bytes privateFields;
};

// Each returns the reason a blob is unusable, or an empty string.
std::string checkPublicBlob(KeyAlgorithm algorithm, ByteView blob);
// Parses the private fields from the start of `blob` (`used` tells how many
// bytes they took) and checks that they belong to the public key.
std::string checkPrivateFields(KeyAlgorithm algorithm, ByteView publicBlob, ByteView blob, size_t& used);

// The public and private fields after the algorithm name, in their wire form.
struct KeyFields {
    std::vector<ByteView> publicFields;
    std::vector<ByteView> privateFields;
};
// Only for blobs the checks above accepted.
KeyFields splitKey(KeyAlgorithm algorithm, ByteView publicBlob, ByteView privateBlob);

// "ssh-ed25519 AAAA... comment", as in an authorized_keys line.
std::string publicKeyLine(const KeyPair& key);

} // namespace tarvik
