#include "engine/keys/OpkCrypto.h"

#include <argon2.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <memory>
#include <stdexcept>

namespace tarvik {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Bytes digest(const EVP_MD* md, ByteView data) {
    Bytes out(static_cast<size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), out.data(), &length, md, nullptr) != 1)
        throw std::runtime_error("digest failed");
    return out;
}

Bytes hmac(const EVP_MD* md, ByteView key, ByteView data) {
    Bytes out(static_cast<size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    // HMAC() takes a null key pointer as "no key", so an empty key needs a real address.
    static const uint8_t none = 0;
    if (!HMAC(md, key.empty() ? &none : key.data(), static_cast<int>(key.size()), data.data(), data.size(),
              out.data(), &length))
        throw std::runtime_error("HMAC failed");
    return out;
}

} // namespace

void wipe(void* data, size_t size) {
    if (data && size) OPENSSL_cleanse(data, size);
}

std::string base64Encode(ByteView data, bool padding) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
        for (int shift : {18, 12, 6, 0})
            out += alphabet[(v >> shift) & 63];
    }
    const size_t rest = data.size() - i;
    if (rest) {
        uint32_t v = uint32_t(data[i]) << 16 | (rest == 2 ? uint32_t(data[i + 1]) << 8 : 0);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        if (rest == 2) out += alphabet[(v >> 6) & 63];
        if (padding) out.append(rest == 1 ? "==" : "=");
    }
    return out;
}

bool base64Decode(std::string_view text, Bytes& out) {
    out.clear();
    if (text.size() % 4) return false;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t v = 0;
        for (int k = 0; k < 4 - pad; ++k) {
            int d = base64Value(text[i + k]);
            if (d < 0) return false;
            v = v << 6 | uint32_t(d);
        }
        v <<= 6 * pad;
        out.push_back(uint8_t(v >> 16));
        if (pad < 2) out.push_back(uint8_t(v >> 8));
        if (pad < 1) out.push_back(uint8_t(v));
        // Bits beyond the last byte must be zero, or two texts would decode alike.
        if ((pad == 1 && (v & 0xff)) || (pad == 2 && (v & 0xffff))) return false;
    }
    return true;
}

std::string hexEncode(ByteView data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool hexDecode(std::string_view text, Bytes& out) {
    out.clear();
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

Bytes sha1(ByteView data) { return digest(EVP_sha1(), data); }
Bytes sha256(ByteView data) { return digest(EVP_sha256(), data); }
Bytes hmacSha1(ByteView key, ByteView data) { return hmac(EVP_sha1(), key, data); }
Bytes hmacSha256(ByteView key, ByteView data) { return hmac(EVP_sha256(), key, data); }

bool equalInConstantTime(ByteView a, ByteView b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<Bytes> aes256Cbc(bool encrypt, ByteView key, ByteView iv, ByteView data) {
    if (key.size() != 32 || iv.size() != 16 || data.size() % 16) return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                         EVP_CIPHER_CTX_free);
    Bytes out(data.size() + 16);
    int length = 0, tail = 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out.data(), &length, data.data(), static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + length, &tail) != 1)
        return std::nullopt;
    out.resize(static_cast<size_t>(length + tail));
    return out;
}

std::optional<Bytes> argon2(Argon2Flavour flavour, ByteView passphrase, ByteView salt, uint32_t memoryKiB,
                            uint32_t passes, uint32_t lanes, size_t outputLength) {
    const argon2_type type = flavour == Argon2Flavour::d   ? Argon2_d
                             : flavour == Argon2Flavour::i ? Argon2_i
                                                           : Argon2_id;
    Bytes out(outputLength);
    int rc = argon2_hash(passes, memoryKiB, lanes, passphrase.data(), passphrase.size(), salt.data(), salt.size(),
                         out.data(), out.size(), nullptr, 0, type, ARGON2_VERSION_13);
    if (rc != ARGON2_OK) return std::nullopt;
    return out;
}

Bytes randomBytes(size_t count) {
    Bytes out(count);
    if (count && RAND_bytes(out.data(), static_cast<int>(count)) != 1)
        throw std::runtime_error("no random bytes available");
    return out;
}

std::string sha256Fingerprint(ByteView publicBlob) {
    return "SHA256:" + base64Encode(sha256(publicBlob), false);
}

} // namespace tarvik
