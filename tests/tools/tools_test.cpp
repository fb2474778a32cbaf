// The two tools are tested as users run them: real executables, real files, real
// pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "terminal/Terminal.h"
#include "tools/CaptureDelegate.h"
#include "tools/ScreenReport.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/tarvik-tools-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path file(const std::string& name, const std::string& content) const {
        const fs::path p = path_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs argv with `input` as standard input; output goes through files so that neither
// side can block on a full pipe.
Result run(const std::vector<std::string>& argv, const std::string& input = "") {
    TempDir dir;
    const fs::path in = dir.file("in", input), out = dir.path() / "out", err = dir.path() / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int i = ::open(in.c_str(), O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(i, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(120);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(out), slurp(err)};
}

Result replay(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), TARVIK_REPLAY_PATH);
    return run(args, input);
}

// What the library itself shows after feeding `input` in one piece.
std::string libraryScreen(const std::string& input, int cols, int rows) {
    CaptureDelegate capture;
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    Terminal terminal(capture, options);
    terminal.feed(input);
    return screenAsText(terminal);
}

bool engineHas(const std::string& probe, const std::function<bool(Terminal&, CaptureDelegate&)>& check) {
    CaptureDelegate capture;
    Terminal terminal(capture);
    terminal.feed(probe);
    return check(terminal, capture);
}

// ----- screen text -----------------------------------------------------------------

TEST(Replay, KnownStreamsGiveKnownScreens) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected; // rows joined with '\n', then the cursor line
    };
    const std::vector<Case> cases = {
        {"lines", "hello\r\nworld", "hello\nworld\n\ncursor 2 6\n"},
        {"wide characters leave no gap", "\xe4\xb8\xad\xe6\x96\x87x",
         "\xe4\xb8\xad\xe6\x96\x87x\n\n\ncursor 1 6\n"},
        {"skipped cells inside a row read as spaces", "a\tb", "a       b\n\n\ncursor 1 10\n"},
        {"written trailing spaces stay", "ab  \r\n", "ab  \n\n\ncursor 2 1\n"},
        {"pending wrap reports the column past the edge", "0123456789", "0123456789\n\n\ncursor 1 11\n"},
        {"wrapping and scrolling", "0123456789abc\r\nx\r\ny", "abc\nx\ny\ncursor 3 2\n"},
        {"combining mark joins its base", "e\xcc\x81!", "e\xcc\x81!\n\n\ncursor 1 3\n"},
    };
    for (const Case& c : cases) {
        const Result r = replay({"--cols", "10", "--rows", "3"}, c.input);
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.out, c.expected) << c.name;
    }
}

TEST(Replay, ReadsFileOperandLikeStandardInput) {
    TempDir dir;
    const std::string stream = "one\r\ntwo\r\nthree\x1b[1;1Hxy";
    const fs::path file = dir.file("capture.bin", stream);
    const Result fromFile = replay({"--rows", "4", file.string()});
    const Result fromStdin = replay({"--rows", "4"}, stream);
    EXPECT_EQ(fromFile.status, 0);
    EXPECT_EQ(fromFile.out, fromStdin.out);
    EXPECT_EQ(fromFile.out, libraryScreen(stream, 80, 4));
}

TEST(Replay, ChunkSizeDoesNotChangeTheResult) {
    // Sequences and UTF-8 cut at every possible point must give the screen of one feed.
    std::string stream;
    for (int i = 0; i < 40; ++i)
        stream += "\x1b[3" + std::to_string(i % 8) + "mline " + std::to_string(i) +
                  " \xe4\xb8\xad\xf0\x9f\x98\x80"
                  "e\xcc\x81\x1b[m\x1b]0;title " +
                  std::to_string(i) + "\x07\r\n";
    for (const char* format : {"text", "json"}) {
        const Result whole = replay({"--cols", "30", "--rows", "6", "--format", format}, stream);
        const Result bytewise =
            replay({"--cols", "30", "--rows", "6", "--chunk", "1", "--format", format}, stream);
        const Result odd = replay({"--cols", "30", "--rows", "6", "--chunk=7", "--format", format}, stream);
        EXPECT_EQ(whole.status, 0);
        EXPECT_EQ(bytewise.out, whole.out) << format;
        EXPECT_EQ(odd.out, whole.out) << format;
    }
}

TEST(Replay, ResizesLandAtTheirOffsetWhateverTheChunking) {
    const std::string stream = "abcdefghijkl\r\nsecond line here\r\nthird";
    // In-process: the first 12 bytes on a 20-column screen, then 6 columns, then 9x2.
    CaptureDelegate capture;
    TerminalOptions options;
    options.cols = 20;
    options.rows = 4;
    Terminal terminal(capture, options);
    terminal.feed(std::string_view(stream).substr(0, 12));
    terminal.resize(6, 4);
    terminal.feed(std::string_view(stream).substr(12, 20));
    terminal.resize(9, 2);
    terminal.feed(std::string_view(stream).substr(32));
    const std::string expected = screenAsText(terminal);

    for (const char* chunk : {"1", "5", "16384"}) {
        // Given out of order on purpose: offsets, not argument order, decide.
        const Result r = replay(
            {"--cols", "20", "--rows", "4", "--resize", "32:9x2", "--resize", "12:6x4", "--chunk", chunk},
            stream);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected) << "chunk " << chunk;
    }
    const json j = json::parse(replay({"--resize", "0:33x7", "--format", "json"}, "x").out);
    EXPECT_EQ(j["cols"], 33);
    EXPECT_EQ(j["rows"], 7);
    EXPECT_EQ(j["lines"].size(), 7u);
}

// ----- JSON ------------------------------------------------------------------------

TEST(Replay, JsonDescribesScreenHistoryAndCells) {
    const Result r =
        replay({"--cols", "6", "--rows", "2", "--scrollback", "10", "--format", "json"}, "old\r\n\xe4\xb8\xad"
                                                                                         "a\r\nb");
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["cols"], 6);
    EXPECT_EQ(j["rows"], 2);
    EXPECT_EQ(j["cursor"], (json{{"row", 2}, {"col", 2}}));
    EXPECT_EQ(j["lines"], (json{"\xe4\xb8\xad"
                                "a",
                                "b"}));
    EXPECT_EQ(j["scrollback"], (json{"old"}));
    EXPECT_EQ(j["replies"], "");
    EXPECT_EQ(j["images"], json::array());
    ASSERT_EQ(j["cells"].size(), 2u);
    ASSERT_EQ(j["cells"][0].size(), 6u);
    const json& wide = j["cells"][0][0];
    EXPECT_EQ(wide["ch"], "\xe4\xb8\xad");
    EXPECT_EQ(wide["width"], 2);
    EXPECT_EQ(wide["fg"], "default");
    EXPECT_EQ(wide["style"], json::array());
    EXPECT_EQ(wide["link"], nullptr);
    EXPECT_EQ(j["cells"][0][1]["ch"], ""); // the filler
    EXPECT_EQ(j["cells"][0][2]["ch"], "a");
}

TEST(Replay, JsonCarriesColoursStylesLinksTitleAndReplies) {
    if (!engineHas("\x1b[1m", [](Terminal& t, CaptureDelegate&) {
            return t.curAttr.style.contains(CharacterStyle::bold);
        }))
        GTEST_SKIP() << "character attributes are not interpreted by the engine yet";
    const Result r = replay({"--cols", "10", "--rows", "1", "--format", "json"},
                            "\x1b[1;4;38;5;196;48;2;1;2;255mA\x1b[0;7mB\x1b[m"
                            "\x1b]8;;https://example.org/a;b\x1b\\L\x1b]8;;\x1b\\"
                            "\x1b]2;my title\x07\x1b[c");
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    const json& a = j["cells"][0][0];
    EXPECT_EQ(a["fg"], 196);
    EXPECT_EQ(a["bg"], "#0102ff");
    EXPECT_EQ(a["style"], (json{"bold", "underline"}));
    EXPECT_EQ(j["cells"][0][1]["style"], (json{"inverse"}));
    EXPECT_EQ(j["cells"][0][2]["link"], "https://example.org/a;b");
    EXPECT_EQ(j["cells"][0][3]["link"], nullptr);
    EXPECT_EQ(j["title"], "my title");
    // Primary device attributes answer with CSI ? ... c.
    CaptureDelegate capture;
    Terminal terminal(capture);
    terminal.feed("\x1b[c");
    EXPECT_FALSE(capture.replies().empty());
    EXPECT_EQ(j["replies"], base64Encode(capture.replies()));
}

TEST(Replay, JsonListsDecodedImages) {
    // A 1x6 sixel in colour register 1.
    const std::string sixel = "\x1bPq#1;2;100;0;0#1~\x1b\\";
    if (!engineHas(sixel, [](Terminal&, CaptureDelegate& c) { return !c.images().empty(); }))
        GTEST_SKIP() << "sixel images are not decoded by the engine yet";
    const json j = json::parse(replay({"--format", "json"}, sixel + sixel).out);
    ASSERT_EQ(j["images"].size(), 2u);
    EXPECT_GE(j["images"][0]["width"], 1);
    EXPECT_GE(j["images"][0]["height"], 6);
    EXPECT_EQ(j["images"][0]["hash"].get<std::string>().size(), 16u);
    EXPECT_EQ(j["images"][0], j["images"][1]);
}

TEST(ScreenReport, Base64MatchesTheStandardAlphabetAndPadding) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xff\xfe\x00\x80", 4), "//4AgA=="},
    };
    for (const auto& [plain, encoded] : cases) {
        const auto* p = reinterpret_cast<const uint8_t*>(plain.data());
        EXPECT_EQ(base64Encode(std::span<const uint8_t>(p, plain.size())), encoded);
    }
}

// ----- failures ----------------------------------------------------------------------

TEST(Replay, UnreadableInputIsOneLineAndStatusOne) {
    TempDir dir;
    for (const std::string& path : {(dir.path() / "missing").string(), dir.path().string()}) {
        const Result r = replay({path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos);
    }
}

TEST(Tools, BadOptionsPrintUsageAndExitTwo) {
    const std::vector<std::vector<std::string>> replayCases = {
        {"--cols", "0"},      {"--rows", "x"},
        {"--cols"},           {"--format", "xml"},
        {"--resize", "5:10"}, {"--resize", "a:2x2"},
        {"--chunk", "0"},     {"--scrollback", "-1"},
        {"--bogus", "1"},     {"-x"},
        {"one", "two"},
    };
    for (const auto& args : replayCases) {
        const Result r = replay(args, "");
        EXPECT_EQ(r.status, 2) << args.front();
        EXPECT_NE(r.err.find("usage: tarvik-replay"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
#ifdef TARVIK_HEADLESS_PATH
    const std::vector<std::vector<std::string>> headlessCases = {
        {}, {"/bin/true"}, {"--"}, {"--timeout", "0", "--", "/bin/true"}, {"--cols", "-3", "--", "/bin/true"},
    };
    for (auto args : headlessCases) {
        args.insert(args.begin(), TARVIK_HEADLESS_PATH);
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << (args.size() > 1 ? args[1] : "(none)");
        EXPECT_NE(r.err.find("usage: tarvik-headless"), std::string::npos);
    }
#endif
}

// --help is an answer, not an error: the usage on standard output, status 0,
// even when other options on the line are wrong; after "--" it is the program's.
TEST(Tools, HelpPrintsTheUsageAndSucceeds) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"--cols", "0", "--help"}}) {
        const Result r = replay(args, "");
        EXPECT_EQ(r.status, 0) << args.back();
        EXPECT_NE(r.out.find("usage: tarvik-replay"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
#ifdef TARVIK_HEADLESS_PATH
    const Result help = run({TARVIK_HEADLESS_PATH, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tarvik-headless"), std::string::npos);
    const Result passed = run({TARVIK_HEADLESS_PATH, "--cols", "20", "--rows", "2", "--", "/bin/sh", "-c",
                               "echo \"$0\"", "--help"});
    EXPECT_EQ(passed.status, 0);
    EXPECT_NE(passed.out.find("--help"), std::string::npos);
    EXPECT_EQ(passed.out.find("usage:"), std::string::npos);
#endif
}

// ----- headless ----------------------------------------------------------------------

#ifdef TARVIK_HEADLESS_PATH

Result headless(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), TARVIK_HEADLESS_PATH);
    return run(args, input);
}

TEST(Headless, PrintsTheScreenAndExitsWithTheChildsStatus) {
    const Result r = headless({"--cols", "20", "--rows", "3", "--", "sh", "-c", "printf hi; exit 3"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, "hi\n\n\ncursor 1 3\n");
}

TEST(Headless, ChildSeesTheTerminalSizeAndType) {
    const Result r = headless({"--cols", "37", "--rows", "5", "--format", "json", "--", "/bin/sh", "-c",
                               "printf '%s %s' \"$(stty size)\" \"$TERM\""});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["lines"][0], "5 37 xterm-256color");
    EXPECT_EQ(j["cols"], 37);
}

TEST(Headless, StandardInputReachesTheChildAsTyped) {
    const Result r =
        headless({"--rows", "4", "--", "sh", "-c", "read line; echo \"got <$line>\""}, "hello\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("got <hello>"), std::string::npos) << r.out;
}

TEST(Headless, RepliesGoBackToTheChild) {
    if (!engineHas("\x1b[6n", [](Terminal&, CaptureDelegate& c) { return !c.replies().empty(); }))
        GTEST_SKIP() << "cursor position reports are not answered by the engine yet";
    // The program asks where the cursor is and prints the answer without the ESC [.
    const Result r = headless({"--rows", "3", "--", "bash", "-c",
                               "stty raw -echo; printf 'abc\\033[6n'; IFS= read -r -d R reply; "
                               "stty sane; printf '\\r\\ngot:%s' \"${reply:2}\""});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("got:1;4"), std::string::npos) << r.out;
}

TEST(Headless, TimeoutEndsTheChildWithStatus124) {
    const Result r =
        headless({"--rows", "2", "--timeout", "0.3", "--", "sh", "-c", "printf waiting; sleep 30"});
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.out, "waiting\n\ncursor 1 8\n");
}

TEST(Headless, UnknownProgramIsReported) {
    const Result r = headless({"--", "no-such-program-tarvik"});
    EXPECT_EQ(r.status, 127);
    EXPECT_NE(r.err.find("no-such-program-tarvik"), std::string::npos);
}

#endif

} // namespace
} // namespace tarvik
