#include "tools/ToolOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <unistd.h>

namespace tarvik {

namespace {

// Sizes beyond these are typing errors, and would only exhaust memory.
constexpr long long maxDimension = 10000;
constexpr long long maxScrollback = 10'000'000;

long long parseNumber(const std::string& name, const std::string& text, long long low, long long high) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        throw UsageError(name + ": expected a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got '" + text + "'");
    return value;
}

double parseSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0 ||
        value > 2e6)
        throw UsageError("--timeout: expected a positive number of seconds, got '" + text + "'");
    return value;
}

double parseScale(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 1 || value > 8)
        throw UsageError("--scale: expected a number from 1 to 8, got '" + text + "'");
    return value;
}

ReportFormat parseFormat(const std::string& text) {
    if (text == "text") return ReportFormat::text;
    if (text == "json") return ReportFormat::json;
    throw UsageError("--format: expected text or json, got '" + text + "'");
}

// OFFSET:COLSxROWS
ResizeStep parseResize(const std::string& text) {
    const auto colon = text.find(':');
    const auto times = text.find('x', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || times == std::string::npos)
        throw UsageError("--resize: expected OFFSET:COLSxROWS, got '" + text + "'");
    ResizeStep step;
    step.offset = static_cast<std::size_t>(
        parseNumber("--resize offset", text.substr(0, colon), 0, std::numeric_limits<long long>::max()));
    step.cols = static_cast<int>(
        parseNumber("--resize columns", text.substr(colon + 1, times - colon - 1), 1, maxDimension));
    step.rows = static_cast<int>(parseNumber("--resize rows", text.substr(times + 1), 1, maxDimension));
    return step;
}

// Walks the arguments; `onOption` consumes a named value, `onOperand` everything else.
// Returns the index just past "--", or args.size().
template <typename OnOption, typename OnOperand>
std::size_t walk(const std::vector<std::string>& args, OnOption onOption, OnOperand onOperand) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") return i + 1;
        if (arg.size() > 2 && arg.starts_with("--")) {
            std::string name = arg;
            std::string value;
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            } else {
                if (i + 1 >= args.size()) throw UsageError(name + ": missing value");
                value = args[++i];
            }
            onOption(name, value);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option '" + arg + "'");
        } else {
            onOperand(arg);
        }
    }
    return args.size();
}

// A request for the usage wins over everything else on the line, as users expect.
bool wantsHelp(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::any_of(args.begin(), end,
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

// Options both tools share; false when the name is not one of them.
bool commonOption(ToolOptions& options, const std::string& name, const std::string& value) {
    if (name == "--cols")
        options.cols = static_cast<int>(parseNumber(name, value, 1, maxDimension));
    else if (name == "--rows")
        options.rows = static_cast<int>(parseNumber(name, value, 1, maxDimension));
    else if (name == "--format")
        options.format = parseFormat(value);
    else
        return false;
    return true;
}

} // namespace

ToolOptions ToolOptions::parseReplay(const std::vector<std::string>& args) {
    ToolOptions options;
    if (wantsHelp(args)) {
        options.help = true;
        return options;
    }
    const auto onOption = [&](const std::string& name, const std::string& value) {
        if (commonOption(options, name, value)) return;
        if (name == "--scrollback")
            options.scrollback = static_cast<int>(parseNumber(name, value, 0, maxScrollback));
        else if (name == "--chunk")
            options.chunk = static_cast<std::size_t>(parseNumber(name, value, 1, 1LL << 30));
        else if (name == "--resize")
            options.resizes.push_back(parseResize(value));
        else if (name == "--png") {
            if (value.empty()) throw UsageError("--png: missing file name");
            options.png = value;
        } else if (name == "--font-size")
            options.fontSize = static_cast<int>(parseNumber(name, value, 4, 200));
        else if (name == "--scale")
            options.scale = parseScale(value);
        else
            throw UsageError("unknown option '" + name + "'");
    };
    const auto onOperand = [&](const std::string& operand) {
        if (options.file) throw UsageError("more than one input file");
        options.file = operand;
    };
    const std::size_t rest = walk(args, onOption, onOperand);
    for (std::size_t i = rest; i < args.size(); ++i)
        onOperand(args[i]);
    std::stable_sort(options.resizes.begin(), options.resizes.end(),
                     [](const ResizeStep& a, const ResizeStep& b) { return a.offset < b.offset; });
    return options;
}

ToolOptions ToolOptions::parseHeadless(const std::vector<std::string>& args) {
    ToolOptions options;
    if (wantsHelp(args)) {
        options.help = true;
        return options;
    }
    const auto onOption = [&](const std::string& name, const std::string& value) {
        if (commonOption(options, name, value)) return;
        if (name == "--timeout")
            options.timeoutSeconds = parseSeconds(value);
        else
            throw UsageError("unknown option '" + name + "'");
    };
    const auto onOperand = [](const std::string& operand) {
        throw UsageError("unexpected '" + operand + "' before --");
    };
    const std::size_t rest = walk(args, onOption, onOperand);
    if (rest >= args.size()) throw UsageError("missing -- PROGRAM");
    options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(rest), args.end());
    return options;
}

std::optional<std::string> findProgram(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        // An empty entry means the current folder.
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) return std::nullopt;
        dirs.remove_prefix(colon + 1);
    }
}

} // namespace tarvik
