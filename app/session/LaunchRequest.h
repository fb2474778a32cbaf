#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace tarvik {

struct LaunchParse;

// What one start of tarvik asks for: the configuration window, or a local
// terminal (its own title, its own program instead of the login shell). A
// second start hands it to the running instance.
struct LaunchRequest {
    bool localTerminal = false;
    QString title;       // -T: the tab's and window's name instead of "Local Terminal"
    QStringList program; // -e: PROGRAM [ARGUMENT...]; empty for the login shell

    // The command line without the program name. --version and --help answer
    // at once; a line that cannot be understood prints the usage and exits 2.
    static LaunchParse parse(const std::vector<std::string>& arguments);

    QByteArray encoded() const;
    static LaunchRequest decoded(const QByteArray& payload);
};

struct LaunchParse {
    std::optional<LaunchRequest> request; // nothing when the process should exit
    int status = 0;
    std::string output; // for standard output
    std::string error;  // for standard error
};

inline constexpr const char* launchUsage =
    "usage: tarvik [--version] [--help] [-T TITLE] [-e PROGRAM [ARGUMENT...]]\n";

} // namespace tarvik
