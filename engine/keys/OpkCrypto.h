#pragma once

#include "engine/keys/Bytes.h"

#include <optional>

namespace tarvik {

// The primitives key files need, all from libcrypto and libargon2.

std::string base64Encode(ByteView data, bool padding = true);
// Strict: only the standard alphabet with correct padding; false otherwise.
bool base64Decode(std::string_view text, Bytes& out);
std::string hexEncode(ByteView data);
bool hexDecode(std::string_view text, Bytes& out); // either case

Bytes sha1(ByteView data);
Bytes sha256(ByteView data);
Bytes hmacSha1(ByteView key, ByteView data);
Bytes hmacSha256(ByteView key, ByteView data);
bool equalInConstantTime(ByteView a, ByteView b);

// AES-256-CBC without a padding scheme; the input is a multiple of 16 bytes.
std::optional<Bytes> aes256Cbc(bool encrypt, ByteView key, ByteView iv, ByteView data);

enum class Argon2Flavour { d, i, id };
std::optional<Bytes> argon2(Argon2Flavour flavour, ByteView passphrase, ByteView salt, uint32_t memoryKiB,
                            uint32_t passes, uint32_t lanes, size_t outputLength);

Bytes randomBytes(size_t count);

// "SHA256:" and the unpadded base64 of the digest of the public blob.
std::string sha256Fingerprint(ByteView publicBlob);

} // namespace tarvik
