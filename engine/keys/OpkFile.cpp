#include "engine/keys/OpkFile.h"

#include "engine/keys/Wire.h"

#include <charconv>

namespace tarvik {

namespace {

constexpr std::string_view signature = "Orvel-User-Key-File-";
constexpr std::string_view macKeyLabel = "orvel-private-key-file-mac-key";

// Lines ended by LF, CR LF or CR.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        size_t end = rest_.find_first_of("\r\n");
        line = rest_.substr(0, end);
        if (end == std::string_view::npos) {
            rest_ = {};
        } else {
            size_t skip = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n' ? 2 : 1;
            rest_.remove_prefix(end + skip);
        }
        return true;
    }
    bool onlyBlankLeft() const { return rest_.find_first_not_of("\r\n") == std::string_view::npos; }

  private:
    std::string_view rest_;
};

bool number(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t wide = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), wide);
    if (ec != std::errc() || end != text.data() + text.size() || wide > UINT32_MAX) return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

class Parser {
  public:
    Parser(std::string_view text, std::string& error) : lines_(text), error_(error) {}

    bool header(std::string_view name, std::string_view& value) {
        std::string_view line;
        if (!lines_.next(line) || line.size() < name.size() + 2 || line.substr(0, name.size()) != name ||
            line.substr(name.size(), 2) != ": ")
            return fail("the header \"" + std::string(name) + "\" is missing or out of order");
        value = line.substr(name.size() + 2);
        return true;
    }

    bool count(std::string_view name, uint32_t& value) {
        std::string_view text;
        if (!header(name, text)) return false;
        if (!number(text, value)) return fail("the header \"" + std::string(name) + "\" is not a number");
        return true;
    }

    bool blob(std::string_view name, const char* what, Bytes& out) {
        uint32_t lineCount = 0;
        if (!count(name, lineCount)) return false;
        if (lineCount > OpkLimits::blobLines)
            return fail(std::string(what) + " has more than " + std::to_string(OpkLimits::blobLines) +
                        " lines");
        SecretString joined;
        std::string_view line;
        for (uint32_t i = 0; i < lineCount; ++i) {
            if (!lines_.next(line)) return fail(std::string(what) + " ends early");
            joined += line;
        }
        if (!base64Decode(joined, out)) return fail(std::string(what) + " is not valid base64");
        return true;
    }

    bool fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    LineReader& lines() { return lines_; }

  private:
    LineReader lines_;
    std::string& error_;
};

bool parseVersion(std::string_view line, OpkFile& file, std::string_view& rest, std::string& error) {
    if (line.substr(0, signature.size()) != signature) {
        error = "not an OPK key file";
        return false;
    }
    line.remove_prefix(signature.size());
    const size_t colon = line.find(": ");
    uint32_t version = 0;
    // Every version but the two this program writes is one it cannot know.
    if (colon == std::string_view::npos || !number(line.substr(0, colon), version) ||
        (version != 2 && version != 3)) {
        error = "a newer OPK version";
        return false;
    }
    file.version = static_cast<int>(version);
    rest = line.substr(colon + 2);
    return true;
}

bool parseArgon2(Parser& parser, Argon2Parameters& argon2) {
    std::string_view flavour, salt;
    if (!parser.header("Key-Derivation", flavour)) return false;
    if (flavour == "Argon2id")
        argon2.flavour = Argon2Flavour::id;
    else if (flavour == "Argon2i")
        argon2.flavour = Argon2Flavour::i;
    else if (flavour == "Argon2d")
        argon2.flavour = Argon2Flavour::d;
    else
        return parser.fail("unknown key derivation " + std::string(flavour));
    if (!parser.count("Argon2-Memory", argon2.memoryKiB) || !parser.count("Argon2-Passes", argon2.passes) ||
        !parser.count("Argon2-Parallelism", argon2.lanes) || !parser.header("Argon2-Salt", salt))
        return false;
    if (argon2.memoryKiB > OpkLimits::argon2MemoryKiB) return parser.fail("the Argon2 memory is above 1 GiB");
    if (argon2.passes > OpkLimits::argon2Passes) return parser.fail("the Argon2 passes are above 1000");
    if (argon2.lanes > OpkLimits::argon2Lanes) return parser.fail("the Argon2 parallelism is above 64");
    if (!hexDecode(salt, argon2.salt)) return parser.fail("the Argon2 salt is not hexadecimal");
    // Below these Argon2 itself refuses to run.
    if (argon2.passes < 1 || argon2.lanes < 1 || argon2.memoryKiB < 8 * argon2.lanes ||
        argon2.salt.size() < 8)
        return parser.fail("the Argon2 parameters are below Argon2's minimum");
    return true;
}

struct KeyMaterial {
    Bytes cipherKey, iv, macKey;
};

std::optional<KeyMaterial> deriveKeys(int version, bool encrypted, const Argon2Parameters& argon2,
                                      ByteView passphrase) {
    KeyMaterial keys;
    if (version == 3) {
        if (!encrypted) return keys;
        auto out = tarvik::argon2(argon2.flavour, passphrase, argon2.salt, argon2.memoryKiB, argon2.passes,
                                  argon2.lanes, 80);
        if (!out) return std::nullopt;
        ByteView all(*out);
        keys.cipherKey.assign(all.begin(), all.begin() + 32);
        keys.iv.assign(all.begin() + 32, all.begin() + 48);
        keys.macKey.assign(all.begin() + 48, all.end());
        return keys;
    }
    if (!encrypted) passphrase = {};
    for (uint8_t counter : {0, 1}) {
        Bytes input{0, 0, 0, counter};
        append(input, passphrase);
        append(keys.cipherKey, sha1(input));
    }
    keys.cipherKey.resize(32);
    keys.iv.assign(16, 0);
    Bytes input(macKeyLabel.begin(), macKeyLabel.end());
    append(input, passphrase);
    keys.macKey = sha1(input);
    return keys;
}

Bytes computeMac(const OpkFile& file, ByteView macKey, ByteView plainPrivate) {
    WireWriter data;
    data.string(keyAlgorithmName(file.algorithm));
    data.string(file.encrypted ? "aes256-cbc" : "none");
    data.string(file.comment);
    data.string(file.publicBlob);
    data.string(plainPrivate);
    return file.version == 3 ? hmacSha256(macKey, data.bytes()) : hmacSha1(macKey, data.bytes());
}

void appendBlobLines(SecretString& out, const char* name, ByteView blob) {
    std::string encoded = base64Encode(blob);
    const size_t lines = (encoded.size() + 63) / 64;
    out += std::string(name) + ": " + std::to_string(lines) + "\n";
    for (size_t i = 0; i < encoded.size(); i += 64) {
        out.append(encoded, i, 64);
        out += '\n';
    }
    wipe(encoded.data(), encoded.size());
}

} // namespace

bool parseOpk(std::string_view text, OpkFile& file, std::string& error) {
    if (text.size() > OpkLimits::fileBytes) {
        error = "the file is larger than 1 MiB";
        return false;
    }
    Parser parser(text, error);
    std::string_view line, value;
    if (!parser.lines().next(line) || !parseVersion(line, file, value, error)) {
        if (error.empty()) error = "not an OPK key file";
        return false;
    }
    auto algorithm = keyAlgorithmNamed(value);
    if (!algorithm) return parser.fail("unknown key algorithm \"" + std::string(value) + "\"");
    file.algorithm = *algorithm;
    if (!parser.header("Encryption", value)) return false;
    if (value != "none" && value != "aes256-cbc")
        return parser.fail("unknown encryption \"" + std::string(value) + "\"");
    file.encrypted = value == "aes256-cbc";
    if (!parser.header("Comment", value)) return false;
    file.comment = std::string(value);
    if (!parser.blob("Public-Lines", "the public key", file.publicBlob)) return false;
    if (auto reason = checkPublicBlob(file.algorithm, file.publicBlob); !reason.empty())
        return parser.fail(reason);
    if (file.version == 3 && file.encrypted && !parseArgon2(parser, file.argon2)) return false;
    if (!parser.blob("Private-Lines", "the private key", file.privateBlob)) return false;
    if (file.encrypted && file.privateBlob.size() % 16)
        return parser.fail("the encrypted private key is not a multiple of 16 bytes");
    if (!parser.header("Private-MAC", value)) return false;
    if (!hexDecode(value, file.mac) || file.mac.size() != (file.version == 3 ? 32u : 20u))
        return parser.fail("the MAC is not a hexadecimal " +
                           std::string(file.version == 3 ? "SHA-256" : "SHA-1") + " value");
    if (!parser.lines().onlyBlankLeft()) return parser.fail("text follows the MAC");
    return true;
}

OpkUnlock unlockOpk(const OpkFile& file, ByteView passphrase, KeyPair& key, std::string& error) {
    auto keys = deriveKeys(file.version, file.encrypted, file.argon2, passphrase);
    if (!keys) {
        error = "the key derivation failed";
        return OpkUnlock::damaged;
    }
    Bytes plain;
    if (file.encrypted) {
        auto decrypted = aes256Cbc(false, keys->cipherKey, keys->iv, file.privateBlob);
        if (!decrypted) {
            error = "the private key cannot be decrypted";
            return OpkUnlock::damaged;
        }
        plain = std::move(*decrypted);
    } else {
        plain = file.privateBlob;
    }
    if (!equalInConstantTime(computeMac(file, keys->macKey, plain), file.mac)) {
        error =
            file.encrypted ? "wrong passphrase" : "the MAC does not match: the file is damaged or altered";
        return file.encrypted ? OpkUnlock::wrongPassphrase : OpkUnlock::damaged;
    }
    size_t used = 0;
    if (auto reason = checkPrivateFields(file.algorithm, file.publicBlob, plain, used); !reason.empty()) {
        error = reason;
        return OpkUnlock::damaged;
    }
    key.algorithm = file.algorithm;
    key.comment = file.comment;
    key.publicBlob = file.publicBlob;
    key.privateFields.assign(plain.begin(), plain.begin() + static_cast<ptrdiff_t>(used));
    return OpkUnlock::ok;
}

SecretString writeOpk(const KeyPair& key, int version, ByteView passphrase, const Argon2Parameters& argon2) {
    OpkFile file;
    file.version = version;
    file.algorithm = key.algorithm;
    file.encrypted = !passphrase.empty();
    for (char c : key.comment)
        file.comment += c == '\r' || c == '\n' ? ' ' : c;
    file.publicBlob = key.publicBlob;
    file.argon2 = argon2;
    if (file.argon2.salt.empty()) file.argon2.salt = randomBytes(16);

    Bytes plain = key.privateFields;
    if (file.encrypted && plain.size() % 16) append(plain, randomBytes(16 - plain.size() % 16));
    auto keys = deriveKeys(version, file.encrypted, file.argon2, passphrase);
    if (!keys) return {};
    file.mac = computeMac(file, keys->macKey, plain);
    if (file.encrypted) {
        auto encrypted = aes256Cbc(true, keys->cipherKey, keys->iv, plain);
        if (!encrypted) return {};
        file.privateBlob = std::move(*encrypted);
    } else {
        file.privateBlob = std::move(plain);
    }

    const std::string head =
        std::string(signature) + std::to_string(version) + ": " + keyAlgorithmName(key.algorithm) +
        "\nEncryption: " + (file.encrypted ? "aes256-cbc" : "none") + "\nComment: " + file.comment + "\n";
    SecretString out(head);
    appendBlobLines(out, "Public-Lines", file.publicBlob);
    if (version == 3 && file.encrypted) {
        const char* flavour = argon2.flavour == Argon2Flavour::id  ? "Argon2id"
                              : argon2.flavour == Argon2Flavour::i ? "Argon2i"
                                                                   : "Argon2d";
        out += "Key-Derivation: " + std::string(flavour) +
               "\nArgon2-Memory: " + std::to_string(argon2.memoryKiB) +
               "\nArgon2-Passes: " + std::to_string(argon2.passes) +
               "\nArgon2-Parallelism: " + std::to_string(argon2.lanes) +
               "\nArgon2-Salt: " + hexEncode(file.argon2.salt) + "\n";
    }
    appendBlobLines(out, "Private-Lines", file.privateBlob);
    out += "Private-MAC: " + hexEncode(file.mac) + "\n";
    return out;
}

std::string printableComment(std::string_view comment) {
    std::string shown;
    shown.reserve(comment.size());
    for (size_t i = 0; i < comment.size(); ++i) {
        const auto c = static_cast<unsigned char>(comment[i]);
        const bool c1 = c == 0xC2 && i + 1 < comment.size() &&
                        static_cast<unsigned char>(comment[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(comment[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            shown += '?';
            if (c1) ++i;
        } else {
            shown += comment[i];
        }
    }
    return shown;
}

} // namespace tarvik
