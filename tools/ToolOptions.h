#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/ScreenReport.h"

namespace tarvik {

// A command line the tool cannot run with; main prints the usage line and exits 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ResizeStep {
    std::size_t offset = 0;
    int cols = 0;
    int rows = 0;
};

// The command lines of tarvik-replay and tarvik-headless. Both accept "--name value"
// and "--name=value".
struct ToolOptions {
    int cols = 80;
    int rows = 24;
    int scrollback = 500;
    std::size_t chunk = 16384;
    std::vector<ResizeStep> resizes; // sorted by offset, stable
    ReportFormat format = ReportFormat::text;
    double timeoutSeconds = 0; // 0: no timeout
    std::optional<std::string> file;
    // tarvik-replay --png: the final screen drawn by the terminal widget into this file.
    std::optional<std::string> png;
    int fontSize = 14;                // points
    double scale = 1;                 // device pixels per point
    std::vector<std::string> command; // PROGRAM and its arguments
    bool help = false;                // --help or -h before any "--": print the usage, nothing else

    static ToolOptions parseReplay(const std::vector<std::string>& args);
    static ToolOptions parseHeadless(const std::vector<std::string>& args);
};

inline constexpr const char* replayUsage =
    "usage: tarvik-replay [--cols N] [--rows N] [--scrollback N] [--chunk N] "
    "[--resize OFFSET:COLSxROWS]... [--format text|json] [--png OUT.png [--font-size N] [--scale N]] [FILE]";
inline constexpr const char* headlessUsage = "usage: tarvik-headless [--cols N] [--rows N] [--format "
                                             "text|json] [--timeout SECONDS] -- PROGRAM [ARG...]";

// PROGRAM as given when it has a slash, else the first executable of that name on PATH.
std::optional<std::string> findProgram(const std::string& name);

} // namespace tarvik
