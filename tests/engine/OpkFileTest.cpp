// Reading and writing OPK files: fixed vectors, round trips, altered and hostile files.
#include "OpkTestSupport.h"

#include "engine/keys/OpenSshKey.h"
#include "engine/keys/OpkFile.h"

#include <gtest/gtest.h>
#include <libssh/libssh.h>

namespace tarvik {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr const char* vectorPassphrase = "tarvik";

// Written once by the converter; the fingerprints are the ones ssh-keygen prints for the source keys.
const std::vector<std::pair<std::string, std::string>> vectors{
    {"ed25519", "SHA256:5DRvpdOxFzbhGeJNHEdyHxYv8AK1jsY3OYXIGDk22vc"},
    {"ecdsa-256", "SHA256:rXkH+pf1apskkbYzdie4+pRjHMwoNhGSD75TGwshyE0"},
    {"ecdsa-384", "SHA256:N8V114zzSGcQRur1oLwaQqlh8zzEBtjp/WCy8RBbSV8"},
    {"ecdsa-521", "SHA256:7+tKhC7xgtEXxR5eKW4mScK/B0bk4uDjj+SJZGHBdJU"},
    {"rsa", "SHA256:Qd/u4CFDK9D/6pE5E4Q7Y0cdy5mZxzGcMJXG4kfyoeo"},
    {"dsa", "SHA256:UQPjqd1hZOPi6u75mt8l4kPT6qQxfbTH2bEZnTUJhCA"},
    {"ed448", "SHA256:l+3igujlptq8J4xkdiB/u5cpCAl0fbBs7au7sO6rnkI"},
};

std::string vectorText(const std::string& type, int version) {
    return slurp(fs::path(OPK_DATA_DIR) / (type + "-v" + std::to_string(version) + ".opk"));
}

KeyPair openVector(const std::string& type) {
    OpkFile file;
    KeyPair key;
    std::string error;
    if (!parseOpk(vectorText(type, 3), file, error) ||
        unlockOpk(file, view(vectorPassphrase), key, error) != OpkUnlock::ok)
        throw std::runtime_error(type + ": " + error);
    return key;
}

// Cheap Argon2 settings, so that tests can open thousands of files.
Argon2Parameters quickArgon2() {
    Argon2Parameters p;
    p.memoryKiB = 64;
    p.passes = 1;
    return p;
}

std::string write(const KeyPair& key, int version, const std::string& passphrase) {
    SecretString text = writeOpk(key, version, view(passphrase), quickArgon2());
    return std::string(text.begin(), text.end());
}

OpkUnlock open(const std::string& text, const std::string& passphrase, KeyPair& key, std::string& error) {
    OpkFile file;
    if (!parseOpk(text, file, error)) return OpkUnlock::damaged;
    return unlockOpk(file, view(passphrase), key, error);
}

// Unencrypted files take their MAC key by other rules in each version; these
// pin both, so reader and writer cannot drift together.
TEST(OpkFile, UnencryptedFixedVectorsOpenWithoutAPassphrase) {
    for (const auto& [name, type] : {std::pair<std::string, std::string>{"ed25519-v2-plain", "ed25519"},
                                     std::pair<std::string, std::string>{"rsa-v3-plain", "rsa"}}) {
        SCOPED_TRACE(name);
        OpkFile file;
        std::string error;
        ASSERT_TRUE(parseOpk(slurp(fs::path(OPK_DATA_DIR) / (name + ".opk")), file, error)) << error;
        EXPECT_FALSE(file.encrypted);
        const auto expected =
            std::find_if(vectors.begin(), vectors.end(), [&](const auto& v) { return v.first == type; });
        EXPECT_EQ(file.fingerprint(), expected->second);
        KeyPair key;
        EXPECT_EQ(unlockOpk(file, {}, key, error), OpkUnlock::ok) << error;
        EXPECT_EQ(key.publicBlob, openVector(type).publicBlob);
    }
}

TEST(OpkFile, FixedVectorsKeepTheirFingerprintsAndOpen) {
    for (const auto& [type, fingerprint] : vectors)
        for (int version : {2, 3}) {
            SCOPED_TRACE(type + " v" + std::to_string(version));
            OpkFile file;
            std::string error;
            ASSERT_TRUE(parseOpk(vectorText(type, version), file, error)) << error;
            EXPECT_EQ(file.fingerprint(), fingerprint);
            EXPECT_EQ(file.version, version);
            EXPECT_EQ(file.comment, "vector " + type);
            EXPECT_TRUE(file.encrypted);
            KeyPair key;
            EXPECT_EQ(unlockOpk(file, view("tarvi"), key, error), OpkUnlock::wrongPassphrase);
            ASSERT_EQ(unlockOpk(file, view(vectorPassphrase), key, error), OpkUnlock::ok) << error;
            if (type == "ed448") continue; // libssh has no Ed448
            // libssh takes the in-memory OpenSSH form and derives the same public key from it.
            ssh_key loaded = nullptr, pub = nullptr;
            ASSERT_EQ(
                ssh_pki_import_privkey_base64(toOpenSshText(key).c_str(), nullptr, nullptr, nullptr, &loaded),
                SSH_OK);
            ASSERT_EQ(ssh_pki_export_privkey_to_pubkey(loaded, &pub), SSH_OK);
            char* b64 = nullptr;
            ASSERT_EQ(ssh_pki_export_pubkey_base64(pub, &b64), SSH_OK);
            EXPECT_EQ(std::string(b64), base64Encode(key.publicBlob));
            ssh_string_free_char(b64);
            ssh_key_free(pub);
            ssh_key_free(loaded);
        }
}

TEST(OpkFile, RoundTripsInBothVersionsWithAnyLineEnding) {
    for (const auto& [type, fingerprint] : vectors) {
        const KeyPair key = openVector(type);
        for (int version : {2, 3})
            for (const std::string passphrase : {"", "pass phrase"})
                for (const std::string ending : {"\n", "\r\n", "\r"}) {
                    SCOPED_TRACE(type + " v" + std::to_string(version) + " '" + passphrase + "'");
                    std::string text = write(key, version, passphrase);
                    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += ending.size())
                        text.replace(at, 1, ending);
                    KeyPair back;
                    std::string error;
                    ASSERT_EQ(open(text, passphrase, back, error), OpkUnlock::ok) << error;
                    EXPECT_EQ(back.publicBlob, key.publicBlob);
                    EXPECT_EQ(back.privateFields, key.privateFields);
                    EXPECT_EQ(back.comment, key.comment);
                }
    }
}

// Any change to any character other than line ends is caught before the key is handed out.
TEST(OpkFile, EveryAlteredCharacterIsRefused) {
    const KeyPair key = openVector("ed25519");
    for (int version : {2, 3})
        for (const std::string passphrase : {"", "secret"}) {
            const std::string original = write(key, version, passphrase);
            for (size_t i = 0; i < original.size(); ++i) {
                const char c = original[i];
                if (c == '\n') continue;
                std::string altered = original;
                altered[i] = c == '0'                                      ? '1'
                             : std::isdigit(static_cast<unsigned char>(c)) ? '0'
                             : c == 'a'                                    ? 'b'
                                                                           : 'a';
                KeyPair out;
                std::string error;
                EXPECT_NE(open(altered, passphrase, out, error), OpkUnlock::ok)
                    << "v" << version << " '" << passphrase << "' offset " << i;
            }
        }
}

TEST(OpkFile, TruncatedPrivateFieldsAreRefusedEvenWithAGoodMac) {
    KeyPair key = openVector("rsa");
    key.privateFields.resize(key.privateFields.size() - 5);
    for (const std::string passphrase : {"", "secret"}) {
        KeyPair out;
        std::string error;
        EXPECT_EQ(open(write(key, 3, passphrase), passphrase, out, error), OpkUnlock::damaged);
        EXPECT_EQ(error, "the private key fields are truncated");
    }
}

std::string replaceLine(std::string text, const std::string& prefix, const std::string& line) {
    const size_t at = text.find(prefix);
    return text.replace(at, text.find('\n', at) - at, line);
}

// Refused by the parser alone: no passphrase is asked and Argon2 never runs.
TEST(OpkFile, HostileFilesAreRefusedBeforeThePassphrase) {
    const std::string good = write(openVector("ed25519"), 3, "secret");
    std::string manyLines = replaceLine(good, "Public-Lines:", "Public-Lines: 100000");
    {
        std::string lines;
        for (int i = 0; i < 100000; ++i)
            lines += "AAAA\n";
        manyLines.insert(manyLines.find('\n', manyLines.find("Public-Lines:")) + 1, lines);
    }
    std::string privateLine = good.substr(good.find("Private-Lines:"));
    privateLine = privateLine.substr(privateLine.find('\n') + 1, 4);
    const struct {
        std::string text, reason;
    } cases[] = {
        {replaceLine(good, "Argon2-Memory", "Argon2-Memory: 4194304"), "the Argon2 memory is above 1 GiB"},
        {replaceLine(good, "Argon2-Passes", "Argon2-Passes: 1001"), "the Argon2 passes are above 1000"},
        {replaceLine(good, "Argon2-Parallelism", "Argon2-Parallelism: 65"),
         "the Argon2 parallelism is above 64"},
        {replaceLine(good, "Argon2-Memory", "Argon2-Memory: 99999999999"), "is not a number"},
        {replaceLine(good, "Argon2-Salt", "Argon2-Salt: 00"), "below Argon2's minimum"},
        {manyLines, "the public key has more than 1000 lines"},
        {replaceLine(good, "Public-Lines", "Public-Lines: 1000"), "the public key ends early"},
        {replaceLine(good, "Public-Lines", "Public-Lines: 1"), "the public key is truncated"},
        {replaceLine(good, "AAAAC3Nz", "AAAA*3Nz"), "the public key is not valid base64"},
        {replaceLine(good, "Orvel", "Orvel-User-Key-File-4: ssh-ed25519"), "a newer OPK version"},
        {replaceLine(good, "Orvel", "Orvel-User-Key-File-1: ssh-ed25519"), "a newer OPK version"},
        {replaceLine(good, "Orvel", "Orvel-User-Key-File-3: ssh-foo"), "unknown key algorithm \"ssh-foo\""},
        {replaceLine(good, "Orvel", "Orvel-User-Key-File-3: ecdsa-sha2-nistp256"),
         "the public key is not an ecdsa-sha2-nistp256 key"},
        {replaceLine(good, "Encryption", "Encryption: aes128-ctr"), "unknown encryption \"aes128-ctr\""},
        {replaceLine(good, "Comment", "Remark: x"), "the header \"Comment\" is missing or out of order"},
        {good.substr(0, good.find("Private-MAC")), "the header \"Private-MAC\" is missing or out of order"},
        {std::string(good).erase(good.find(privateLine, good.find("Private-Lines:")), 4),
         "the encrypted private key is not a multiple of 16 bytes"},
        {good + "extra\n", "text follows the MAC"},
        {good + std::string(1 << 20, '\n'), "the file is larger than 1 MiB"},
        {"ssh-ed25519 AAAA", "not an OPK key file"},
    };
    for (const auto& c : cases) {
        OpkFile file;
        std::string error;
        EXPECT_FALSE(parseOpk(c.text, file, error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "got: " << error << "\nwanted: " << c.reason;
    }
}

} // namespace
} // namespace tarvik
