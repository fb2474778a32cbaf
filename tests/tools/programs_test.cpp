// Real full-screen programs on our terminal and on tmux, fed the same bytes and the same
// keys: the screens they leave behind must match.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

#ifdef TARVIK_HEADLESS_PATH
constexpr const char* headlessPath = TARVIK_HEADLESS_PATH;
#else
constexpr const char* headlessPath = nullptr;
#endif

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command line under a hard time limit and returns what it printed.
std::string run(const std::string& command) {
    FILE* pipe = ::popen(("timeout 60 sh -c " + quote(command)).c_str(), "r");
    if (!pipe) return {};
    std::string out;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
        out.append(block, n);
    ::pclose(pipe);
    return out;
}

// Files mark the moments that matter (keys may come, screen is final); nothing else
// tells when a program running under tmux got there.
bool waitForFile(const fs::path& path) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(path) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return fs::exists(path);
}

// Rows without trailing blanks, trailing empty rows dropped, then the 1-based cursor.
std::string normalized(const std::string& screen, std::string cursor = "") {
    std::istringstream in(screen);
    std::string rows;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("cursor ")) {
            cursor = line;
            continue;
        }
        rows += line.erase(line.find_last_not_of(' ') + 1) + "\n";
    }
    rows.erase(rows.find_last_not_of('\n') + 1);
    return rows + "\n" + cursor.erase(cursor.find_last_not_of("\n ") + 1);
}

// Runs in a scratch folder. With keys, the command creates the file "ready" once they
// may come (echo off); they are typed only then.
struct ProgramsTest : ::testing::Test {
    fs::path dir;

    void SetUp() override {
        if (!headlessPath) GTEST_SKIP() << "tarvik-headless is not built";
        for (const char* program : {"tmux", "less", "vim", "tput"})
            if (run(std::string("command -v ") + program).empty())
                GTEST_SKIP() << program << " is not installed";
        std::string pattern = (fs::temp_directory_path() / "tarvik-programs-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
    }

    std::string underTmux(const std::string& command, const std::string& keys) {
        const std::string tmux = "tmux -L tarvik-cmp-" + std::to_string(::getpid()) + " -f /dev/null ";
        const fs::path done = dir / "tmux-done";
        // The pane outlives the program, so its last screen stays to be captured.
        run(tmux + "new-session -d -x 80 -y 24 " +
            quote("cd " + quote(dir) + " && sh -c " + quote(command) + "; touch " + quote(done) +
                  "; exec sleep 60"));
        std::string screen;
        if (keys.empty() || waitForFile(dir / "ready")) {
            if (!keys.empty()) run(tmux + "send-keys -l " + quote(keys));
            if (waitForFile(done))
                screen =
                    normalized(run(tmux + "capture-pane -p"),
                               run(tmux + "display -p 'cursor #{e|+:#{cursor_y},1} #{e|+:#{cursor_x},1}'"));
        }
        run(tmux + "kill-server");
        fs::remove(dir / "ready");
        return screen;
    }

    std::string underTarvik(const std::string& command, const std::string& keys) {
        const std::string headless = std::string(headlessPath) +
                                     " --cols 80 --rows 24 --timeout 20 -- sh -c " +
                                     quote("cd " + quote(dir) + " && " + command);
        if (keys.empty()) return normalized(run(headless + " </dev/null"));
        const std::string typist = "i=0; while [ ! -e " + quote(dir / "ready") +
                                   " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done; printf %s " +
                                   quote(keys);
        return normalized(run("(" + typist + ") | " + headless));
    }

    void expectSameScreens(const std::string& command, const std::string& keys = "") {
        const std::string theirs = underTmux(command, keys);
        ASSERT_GT(theirs.size(), 20u) << "tmux produced no screen";
        EXPECT_EQ(underTarvik(command, keys), theirs);
    }
};

TEST_F(ProgramsTest, LessPagesForward) {
    std::string lines;
    for (int i = 1; i <= 200; ++i)
        lines += "line number " + std::to_string(i) + "\n";
    write("file.txt", lines);
    // -X keeps the page on the screen after q, so the final screen is the second page.
    expectSameScreens("stty -echo; touch ready; TERM=xterm-256color exec less -X file.txt", " q");
}

TEST_F(ProgramsTest, VimInsertsTextAndSplitsTheWindow) {
    write("v.txt", "first line\nsecond line\n");
    // Keys come from a script, so both runs see them at the same point. Emptying t_te
    // before quitting leaves vim's last screen (on the alternate screen) in place; the
    // terminal queries are off because the answers differ by design (tmux names itself)
    // and an answer arriving after exit would be echoed.
    write("keys.vim", "ihello world\x1b:split\rGoadded below\x1b:set t_te=\r:qa!\r");
    expectSameScreens("TERM=xterm-256color exec vim -u NONE -N -i NONE -n "
                      "--cmd 'set t_RV= t_u7= t_RB= t_RF= t_RS= t_RC= t_SH= t_RK=' -s keys.vim v.txt");
}

TEST_F(ProgramsTest, RegionsLinesAndAlternateScreen) {
    write("screen.sh", R"SH(export TERM=xterm-256color
printf '\033#8'; tput cup 1 0; tput ed; printf '\033[H'
i=1; while [ $i -le 30 ]; do printf 'row %02d\n' $i; i=$((i+1)); done
tput csr 4 14
tput cup 14 0; printf 'in region A\nin region B\nin region C'
tput cup 6 0; tput il 2; printf 'inserted'
tput cup 9 0; tput dl 3
tput cup 4 0; printf '\033M\033Mreverse'
tput csr 0 23
tput smcup; tput clear; printf 'alternate text'; tput cup 5 5; printf 'more'
tput rmcup
tput cup 19 9; printf 'back'; tput smir; tput cup 19 0; printf 'INS'; tput rmir
tput cup 0 0; printf '\033[2@'
tput cup 11 3; tput el
tput cup 12 2; tput el1
tput cup 16 0; printf '\033[5X'
tput cup 17 70; printf 'wrapping across the edge'
printf '\0337'; tput cup 2 40; printf 'saved'; printf '\0338after'
printf '\033[?47h'; printf '\033[Hfrom 47'; printf '\033[?47l'
printf '\033[?1049h\033[?1049l'
printf '\033[3;6H\033[1P\033[2;70H\033[P'
tput cup 22 0; printf 'done'
)SH");
    expectSameScreens("sh screen.sh");
}

} // namespace
