#include "engine/keys/KeyPair.h"

#include "engine/keys/OpkCrypto.h"
#include "engine/keys/Wire.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <array>

namespace tarvik {

namespace {

enum class Field { string, mpint };

struct Layout {
    KeyAlgorithm algorithm;
    const char* name;
    const char* curve; // ECDSA only
    std::vector<Field> publicFields;
    std::vector<Field> privateFields;
};

const std::array<Layout, 7>& layouts() {
    using F = Field;
    static const std::array<Layout, 7> table{{
        {KeyAlgorithm::ed25519, "ssh-ed25519", nullptr, {F::string}, {F::string}},
        {KeyAlgorithm::ed448, "ssh-ed448", nullptr, {F::string}, {F::string}},
        {KeyAlgorithm::ecdsaP256, "ecdsa-sha2-nistp256", "nistp256", {F::string, F::string}, {F::mpint}},
        {KeyAlgorithm::ecdsaP384, "ecdsa-sha2-nistp384", "nistp384", {F::string, F::string}, {F::mpint}},
        {KeyAlgorithm::ecdsaP521, "ecdsa-sha2-nistp521", "nistp521", {F::string, F::string}, {F::mpint}},
        {KeyAlgorithm::rsa, "ssh-rsa", nullptr, {F::mpint, F::mpint}, {F::mpint, F::mpint, F::mpint, F::mpint}},
        {KeyAlgorithm::dss, "ssh-dss", nullptr, {F::mpint, F::mpint, F::mpint, F::mpint}, {F::mpint}},
    }};
    return table;
}

const Layout& layoutOf(KeyAlgorithm algorithm) {
    for (const auto& layout : layouts())
        if (layout.algorithm == algorithm) return layout;
    return layouts()[0];
}

bool readFields(WireReader& reader, const std::vector<Field>& kinds, std::vector<ByteView>& out) {
    for (Field kind : kinds) {
        ByteView value;
        if (!(kind == Field::mpint ? reader.mpint(value) : reader.string(value))) return false;
        out.push_back(value);
    }
    return true;
}

using BigNum = std::unique_ptr<BIGNUM, decltype(&BN_clear_free)>;
using BnContext = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>;

BigNum bignum(ByteView mpint) {
    ByteView magnitude = mpintMagnitude(mpint);
    return BigNum(BN_bin2bn(magnitude.data(), static_cast<int>(magnitude.size()), nullptr), BN_clear_free);
}

BigNum emptyBignum() { return BigNum(BN_secure_new(), BN_clear_free); }

bool edwardsMatches(int type, size_t seedSize, ByteView seed, ByteView publicKey) {
    if (seed.size() != seedSize) return false;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_private_key(type, nullptr, seed.data(), seed.size()), EVP_PKEY_free);
    uint8_t derived[64];
    size_t length = sizeof derived;
    return key && EVP_PKEY_get_raw_public_key(key.get(), derived, &length) == 1 &&
           equalInConstantTime({derived, length}, publicKey);
}

int curveNid(KeyAlgorithm algorithm) {
    return algorithm == KeyAlgorithm::ecdsaP256   ? NID_X9_62_prime256v1
           : algorithm == KeyAlgorithm::ecdsaP384 ? NID_secp384r1
                                                  : NID_secp521r1;
}

bool ecdsaMatches(KeyAlgorithm algorithm, ByteView scalar, ByteView point) {
    std::unique_ptr<EC_GROUP, decltype(&EC_GROUP_free)> group(EC_GROUP_new_by_curve_name(curveNid(algorithm)),
                                                              EC_GROUP_free);
    std::unique_ptr<EC_POINT, decltype(&EC_POINT_free)> product(EC_POINT_new(group.get()), EC_POINT_free);
    BnContext ctx(BN_CTX_new(), BN_CTX_free);
    BigNum d = bignum(scalar);
    if (!group || !product || !ctx || !d || BN_is_zero(d.get()) ||
        BN_cmp(d.get(), EC_GROUP_get0_order(group.get())) >= 0 ||
        EC_POINT_mul(group.get(), product.get(), d.get(), nullptr, nullptr, ctx.get()) != 1)
        return false;
    uint8_t derived[200];
    size_t length = EC_POINT_point2oct(group.get(), product.get(), POINT_CONVERSION_UNCOMPRESSED, derived,
                                       sizeof derived, ctx.get());
    return length > 0 && equalInConstantTime({derived, length}, point);
}

// n = pq, iqmp q = 1 (mod p), and d inverts e modulo p-1 and q-1.
bool rsaMatches(const std::vector<ByteView>& pub, const std::vector<ByteView>& priv) {
    BnContext ctx(BN_CTX_new(), BN_CTX_free);
    BigNum e = bignum(pub[0]), n = bignum(pub[1]);
    BigNum d = bignum(priv[0]), p = bignum(priv[1]), q = bignum(priv[2]), iqmp = bignum(priv[3]);
    BigNum t = emptyBignum(), m = emptyBignum();
    if (!ctx || !e || !n || !d || !p || !q || !iqmp || !t || !m || BN_is_zero(p.get()) || BN_is_zero(q.get()))
        return false;
    if (BN_mul(t.get(), p.get(), q.get(), ctx.get()) != 1 || BN_cmp(t.get(), n.get()) != 0) return false;
    if (BN_mod_mul(t.get(), iqmp.get(), q.get(), p.get(), ctx.get()) != 1 || !BN_is_one(t.get())) return false;
    for (BIGNUM* prime : {p.get(), q.get()}) {
        if (!BN_copy(m.get(), prime) || BN_sub_word(m.get(), 1) != 1 || BN_is_zero(m.get()) ||
            BN_mod_mul(t.get(), e.get(), d.get(), m.get(), ctx.get()) != 1 || !BN_is_one(t.get()))
            return false;
    }
    return true;
}

// y = g^x (mod p).
bool dssMatches(const std::vector<ByteView>& pub, ByteView x) {
    BnContext ctx(BN_CTX_new(), BN_CTX_free);
    BigNum p = bignum(pub[0]), g = bignum(pub[2]), y = bignum(pub[3]), secret = bignum(x), t = emptyBignum();
    if (!ctx || !p || !g || !y || !secret || !t || BN_is_zero(p.get())) return false;
    return BN_mod_exp(t.get(), g.get(), secret.get(), p.get(), ctx.get()) == 1 && BN_cmp(t.get(), y.get()) == 0;
}

bool fieldsMatch(KeyAlgorithm algorithm, const std::vector<ByteView>& pub, const std::vector<ByteView>& priv) {
    switch (algorithm) {
    case KeyAlgorithm::ed25519: return pub[0].size() == 32 && edwardsMatches(EVP_PKEY_ED25519, 32, priv[0], pub[0]);
    case KeyAlgorithm::ed448: return pub[0].size() == 57 && edwardsMatches(EVP_PKEY_ED448, 57, priv[0], pub[0]);
    case KeyAlgorithm::rsa: return rsaMatches(pub, priv);
    case KeyAlgorithm::dss: return dssMatches(pub, priv[0]);
    default: return ecdsaMatches(algorithm, priv[0], pub[1]);
    }
}

} // namespace

std::optional<KeyAlgorithm> keyAlgorithmNamed(std::string_view name) {
    for (const auto& layout : layouts())
        if (name == layout.name) return layout.algorithm;
    return std::nullopt;
}

std::string keyAlgorithmName(KeyAlgorithm algorithm) { return layoutOf(algorithm).name; }

std::string checkPublicBlob(KeyAlgorithm algorithm, ByteView blob) {
    const Layout& layout = layoutOf(algorithm);
    WireReader reader(blob);
    ByteView name;
    std::vector<ByteView> fields;
    if (!reader.string(name)) return "the public key is truncated";
    if (text(name) != layout.name) return "the public key is not an " + std::string(layout.name) + " key";
    if (!readFields(reader, layout.publicFields, fields)) return "the public key is truncated";
    if (!reader.atEnd()) return "the public key has extra bytes";
    if (layout.curve && text(fields[0]) != layout.curve) return "the public key names another curve";
    return {};
}

std::string checkPrivateFields(KeyAlgorithm algorithm, ByteView publicBlob, ByteView blob, size_t& used) {
    const Layout& layout = layoutOf(algorithm);
    WireReader reader(blob);
    std::vector<ByteView> fields;
    if (!readFields(reader, layout.privateFields, fields)) return "the private key fields are truncated";
    used = reader.offset();
    KeyFields split = splitKey(algorithm, publicBlob, blob);
    if (!fieldsMatch(algorithm, split.publicFields, fields)) return "the private key does not match the public key";
    return {};
}

KeyFields splitKey(KeyAlgorithm algorithm, ByteView publicBlob, ByteView privateBlob) {
    const Layout& layout = layoutOf(algorithm);
    KeyFields out;
    WireReader pub(publicBlob);
    ByteView name;
    pub.string(name);
    readFields(pub, layout.publicFields, out.publicFields);
    WireReader priv(privateBlob);
    readFields(priv, layout.privateFields, out.privateFields);
    return out;
}

std::string publicKeyLine(const KeyPair& key) {
    std::string line = keyAlgorithmName(key.algorithm) + " " + base64Encode(key.publicBlob);
    if (!key.comment.empty()) line += " " + key.comment;
    return line;
}

} // namespace tarvik
