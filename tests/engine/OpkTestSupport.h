#pragma once

#include <filesystem>
#include <string>

namespace tarvik::test {

// Temporary folders, shell commands and the converter, for the key-file tests.
std::filesystem::path makeKeyTempDir(const std::string& stem);
void runShell(const std::string& command); // throws when it fails
std::string slurp(const std::filesystem::path& path);

struct ToolRun {
    int status = -1;
    std::string out, err;
};
// tarvik-key with `input` as its standard input (one line per answer).
ToolRun runKeyTool(const std::string& args, const std::string& input = "");

// A fresh key from ssh-keygen: "ed25519", "ecdsa-256", "ecdsa-384", "ecdsa-521", "rsa", "dsa".
void generateKey(const std::string& type, const std::filesystem::path& file, const std::string& passphrase = "",
                 const std::string& format = "");

} // namespace tarvik::test
