#include "OpkTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

namespace tarvik::test {

namespace fs = std::filesystem;

fs::path makeKeyTempDir(const std::string& stem) {
    std::string pattern = (fs::temp_directory_path() / (stem + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void runShell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ToolRun runKeyTool(const std::string& args, const std::string& input) {
    const fs::path dir = makeKeyTempDir("tarvik-key-run-");
    std::ofstream(dir / "in") << input;
    const std::string command = std::string(TARVIK_KEY_PATH) + " " + args + " <" + (dir / "in").string() + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string();
    const int status = std::system(command.c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / "out"), slurp(dir / "err")};
    fs::remove_all(dir);
    return run;
}

void generateKey(const std::string& type, const fs::path& file, const std::string& passphrase,
                 const std::string& format) {
    std::string kind = type;
    std::string bits;
    if (type.rfind("ecdsa-", 0) == 0) {
        kind = "ecdsa";
        bits = " -b " + type.substr(6);
    } else if (type == "rsa") {
        bits = " -b 2048";
    }
    runShell("ssh-keygen -q -t " + kind + bits + " -N '" + passphrase + "' -C 'test key " + type + "'" +
             (format.empty() ? "" : " -m " + format) + " -f " + file.string());
}

} // namespace tarvik::test
