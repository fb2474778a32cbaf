#include "core/PTYProcess.h"
#include "core/AppError.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// The event sources need the application object before the first start.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "pty_tests", *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const QDeadlineTimer deadline(timeout);
    QTimer heartbeat; // so the deadline is noticed when nothing else happens
    heartbeat.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// A process with its output and exit recorded.
struct Child {
    PTYProcess process;
    std::string output;
    std::optional<int> exitCode;

    explicit Child(bool storeDistribution = false) : process(storeDistribution) {
        ensureApplication();
        process.onData = [this](PTYProcess::Bytes chunk) { output.append(chunk.begin(), chunk.end()); };
        process.onExit = [this](int32_t code) { exitCode = code; };
    }
    void start(const std::string& executable, const std::vector<std::string>& arguments, int columns = 80,
               int rows = 24) {
        process.start(executable, arguments, columns, rows, "xterm-256color");
    }
    void shell(const std::string& script, int columns = 80, int rows = 24) {
        start("/bin/sh", {"-c", script}, columns, rows);
    }
    bool exited(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return waitUntil([this] { return exitCode.has_value(); }, timeout);
    }
    bool printed(const std::string& text) {
        return waitUntil([&] { return output.find(text) != std::string::npos; });
    }
};

bool alive(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

bool unreapedChild(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line, state;
    pid_t parent = 0;
    if (!std::getline(stat, line)) return false;
    std::istringstream(line.substr(line.rfind(')') + 2)) >> state >> parent;
    return state == "Z" && parent == ::getpid();
}

TEST(PTYProcess, ReportsExitStatusOrSignal) {
    QTemporaryDir dir;
    const std::string notAProgram = dir.filePath("no-interpreter").toStdString();
    std::ofstream(notAProgram) << "exit 5\n"; // execve has no shell fallback
    ::chmod(notAProgram.c_str(), 0755);
    const std::pair<std::vector<std::string>, int> cases[] = {{{"/bin/sh", "exit 3"}, 3},
                                                              {{"/bin/sh", "kill -KILL $$"}, 137},
                                                              {{"/bin/sh", "kill -HUP $$"}, 129},
                                                              {{notAProgram, ""}, 127}};
    for (const auto& [command, expected] : cases) {
        Child child;
        child.start(command[0], {"-c", command[1]});
        ASSERT_TRUE(child.exited());
        EXPECT_EQ(child.exitCode, expected) << command[1];
        EXPECT_FALSE(child.process.running());
        EXPECT_FALSE(unreapedChild(child.process.pid()));
    }
}

// More output than one readiness event reads, and a descendant that keeps the
// terminal open: the exit must neither lose the tail nor wait for the descendant.
TEST(PTYProcess, DeliversAllOutputBeforeExitWithoutWaitingForDescendants) {
    Child child;
    bool descendantAliveAtExit = false;
    std::size_t outputAtExit = 0;
    child.process.onExit = [&](int32_t code) {
        child.exitCode = code;
        outputAtExit = child.output.size();
        descendantAliveAtExit = alive(std::stoi(child.output));
    };
    child.shell("trap '' HUP; sleep 30 & printf '%010d' $!; head -c 300000 /dev/zero | tr '\\000' x; exit 5");
    ASSERT_TRUE(child.exited());
    ::kill(std::stoi(child.output), SIGKILL);
    EXPECT_EQ(child.exitCode, 5);
    EXPECT_EQ(outputAtExit, 300010u);
    EXPECT_TRUE(descendantAliveAtExit);
}

TEST(PTYProcess, StartRefusesWhileRunningAndWhatCannotBeExecuted) {
    Child child;
    child.shell("read line; exit 7");
    const pid_t first = child.process.pid();
    const auto startError = [&](const std::string& executable) -> std::string {
        try {
            child.start(executable, {});
        } catch (const AppError& error) {
            return error.message();
        }
        return "started";
    };
    EXPECT_EQ(startError("/bin/sh"), "Процесс уже запущен.");
    std::vector<int> codes;
    child.process.onExit = [&](int32_t code) {
        codes.push_back(code);
        if (codes.size() == 1) child.shell("exit 9");
    };
    child.process.send("go\n");
    ASSERT_TRUE(waitUntil([&] { return codes.size() == 2; }));
    EXPECT_EQ(codes, (std::vector<int>{7, 9})); // 7: the first child was left alone
    EXPECT_NE(child.process.pid(), first);

    QTemporaryDir dir;
    const std::string plain = dir.filePath("plain").toStdString();
    std::ofstream(plain) << "#!/bin/sh\n";
    for (const std::string& path : {dir.filePath("missing").toStdString(), dir.path().toStdString(), plain}) {
        EXPECT_EQ(startError(path), "Не найден исполняемый файл: " + path);
        EXPECT_FALSE(child.process.running());
    }
}

// What this program ignores or blocks must not reach the child: a shell that
// inherited an ignored SIGINT could not be interrupted. Checked by what the
// signals do to the child, which holds wherever the kernel runs.
TEST(PTYProcess, ChildStartsWithDefaultSignalsNoneBlockedAndOnItsOwnTerminal) {
    struct sigaction ignore {
    }, oldInt{}, oldPipe{};
    ignore.sa_handler = SIG_IGN;
    sigset_t blocked, oldMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigaddset(&blocked, SIGTERM);
    for (const int signal : {SIGINT, SIGPIPE, SIGTERM, SIGUSR1}) {
        ::sigaction(SIGINT, &ignore, &oldInt);
        ::sigaction(SIGPIPE, &ignore, &oldPipe);
        ::sigprocmask(SIG_BLOCK, &blocked, &oldMask);
        Child child;
        child.shell("test -t 0 && test -t 1 && echo on-terminal; read line");
        ::sigprocmask(SIG_SETMASK, &oldMask, nullptr);
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGPIPE, &oldPipe, nullptr);

        ASSERT_TRUE(child.printed("on-terminal")) << child.output;
        ::kill(child.process.pid(), signal);
        ASSERT_TRUE(child.exited()) << strsignal(signal);
        EXPECT_EQ(child.exitCode, 128 + signal) << strsignal(signal);
    }
}

// Started by a parent that ignores SIGCHLD, the kernel would reap every
// child at once and no session could say how it ended.
TEST(PTYProcess, ExitStatusSurvivesAnInheritedIgnoredSigchld) {
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGCHLD, &ignore, &old);
    Child child;
    child.shell("exit 5");
    const bool exited = child.exited();
    ::sigaction(SIGCHLD, &old, nullptr);
    ASSERT_TRUE(exited);
    EXPECT_EQ(child.exitCode, 5);
}

TEST(PTYProcess, ChildEnvironmentOverridesInheritedValuesSortedByKey) {
    for (const char* key :
         {"TERM", "COLORTERM", "TERM_PROGRAM", "SSH_ASKPASS_REQUIRE", "LC_CTYPE", "ZZ_KEPT"})
        ::setenv(key, "inherited", 1);
    int inheritable[2];
    ASSERT_EQ(::pipe(inheritable), 0);
    Child child, lister;
    child.start("/usr/bin/env", {"-0"});
    lister.shell("ls /proc/$$/fd; exit 0");
    ASSERT_TRUE(child.exited() && lister.exited());
    ::close(inheritable[0]), ::close(inheritable[1]);
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream stream(child.output);
    for (std::string entry; std::getline(stream, entry, '\0');)
        entries.emplace_back(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    const std::map<std::string, std::string> values(entries.begin(), entries.end());
    const std::map<std::string, std::string> expected = {
        {"TERM", "xterm-256color"},       {"COLORTERM", "truecolor"}, {"TERM_PROGRAM", "Tarvik"},
        {"SSH_ASKPASS_REQUIRE", "never"}, {"LC_CTYPE", "UTF-8"},      {"ZZ_KEPT", "inherited"}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(values.at(key), value) << key;
    EXPECT_EQ(values.count("ORVELDIR"), 0u);
    EXPECT_EQ(values.size(), entries.size()) << "duplicate keys";
    EXPECT_TRUE(
        std::is_sorted(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.first < b.first; }));
    std::istringstream listing(lister.output);
    EXPECT_EQ(std::vector<std::string>(std::istream_iterator<std::string>(listing), {}),
              (std::vector<std::string>{"0", "1", "2"}));
}

TEST(PTYProcess, StoreDistributionGetsPrivateEngineFolder) {
    const struct RestoreHome {
        const char* home = std::getenv("HOME");
        std::string saved = home ? home : "";
        ~RestoreHome() { home ? ::setenv("HOME", saved.c_str(), 1) : ::unsetenv("HOME"); }
    } restoreHome;
    QTemporaryDir dir;
    const fs::path home = dir.path().toStdString(), support = home / "Library" / "Application Support";
    fs::create_directory(home / "Library");
    ::chmod((home / "Library").c_str(), 0755);
    ::setenv("HOME", home.c_str(), 1);
    Child child(true);
    child.start("/usr/bin/env", {});
    ASSERT_TRUE(child.exited());
    EXPECT_NE(child.output.find("\nHOME=" + home.string() + "\r\n"), std::string::npos);
    EXPECT_NE(child.output.find("\nORVELDIR=" + (support / "Tarvik/Orvel").string() + "\r\n"),
              std::string::npos);
    const auto mode = [](const fs::path& path) { return fs::status(path).permissions(); };
    EXPECT_EQ(mode(home / "Library"), fs::perms(0755)) << "an existing folder keeps its permissions";
    for (const auto& made : {support, support / "Tarvik", support / "Tarvik/Orvel"})
        EXPECT_EQ(mode(made), fs::perms::owner_all) << made;

    std::ofstream(home / "file");
    ::setenv("HOME", (home / "file").c_str(), 1); // cannot hold folders
    Child blocked(true);
    EXPECT_THROW(blocked.shell("exit 0"), fs::filesystem_error);
    EXPECT_EQ(blocked.process.pid(), 0);
}

TEST(PTYProcess, ChildSeesClampedWindowSizesAtStartAndAfterResize) {
    const std::tuple<int, int, int, int, std::string> cases[] = {
        // stty prints rows first
        {80, 24, 132, 43, "24 80\r\n\r\n43 132\r\n"},
        {10, 10, -5, 70000, "10 10\r\n\r\n65535 0\r\n"},
        {70000, -3, 100, 30, "0 65535\r\n\r\n30 100\r\n"}};
    for (const auto& [startColumns, startRows, columns, rows, expected] : cases) {
        Child child;
        child.shell("stty size; read line; stty size", startColumns, startRows);
        ASSERT_TRUE(child.printed("\n"));
        child.process.resize(columns, rows);
        child.process.send("\n");
        ASSERT_TRUE(child.exited());
        EXPECT_EQ(child.output, expected);
    }
}

TEST(PTYProcess, RepeatedCyclesLeaveNoZombieOrDescriptor) {
    const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    Child child;
    child.shell("exit 0"); // the event loop opens its own descriptors on first use
    ASSERT_TRUE(child.exited());
    const auto before = descriptors();
    std::vector<pid_t> pids;
    for (int i = 0; i < 500; ++i) {
        child.exitCode.reset();
        child.start("/bin/true", {});
        pids.push_back(child.process.pid());
        ASSERT_TRUE(child.exited()) << "cycle " << i;
    }
    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(std::count_if(pids.begin(), pids.end(), unreapedChild), 0);
}

TEST(PTYProcess, DisposalKillsAndReapsTheChildSilently) {
    // Just after start the child may not lead its own process group yet; the
    // pending escalation must not touch the disposed instance.
    for (bool settled : {true, false}) {
        auto child = std::make_unique<Child>();
        child->shell("trap '' HUP; echo READY; exec sleep 30");
        if (settled) {
            ASSERT_TRUE(child->printed("READY"));
        }
        child->process.terminate();
        const pid_t pid = child->process.pid();
        child->process.onExit = [](int32_t) { ADD_FAILURE() << "exit reported after disposal"; };
        child.reset();
        EXPECT_TRUE(waitUntil([&] { return !alive(pid); })) << settled;
    }
    bool escalationDue = false;
    QTimer::singleShot(1200, [&] { escalationDue = true; });
    EXPECT_TRUE(waitUntil([&] { return escalationDue; }));

    auto process = std::make_unique<PTYProcess>();
    int chunks = 0;
    process->onData = [&](PTYProcess::Bytes) { ++chunks, process.reset(); };
    process->start("/usr/bin/head", {"-c", "1000000", "/dev/zero"}, 80, 24, "xterm");
    ASSERT_TRUE(waitUntil([&] { return !process; }));
    EXPECT_EQ(chunks, 1);
}

TEST(PTYProcess, TerminateHangsUpAndKillsAboutOneSecondLaterWhenIgnored) {
    Child child;
    child.shell("exec sleep 30");
    child.process.terminate(); // possibly before the child leads its own group
    ASSERT_TRUE(child.exited());
    EXPECT_EQ(child.exitCode, 129);

    Child stubborn;
    stubborn.shell("trap '' HUP; echo READY; exec sleep 30");
    ASSERT_TRUE(stubborn.printed("READY"));
    QElapsedTimer clock;
    clock.start();
    stubborn.process.terminate();
    ASSERT_TRUE(stubborn.exited());
    EXPECT_EQ(stubborn.exitCode, 137);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
}

// The child reads nothing until the test's own timer lets it, so the paste has
// to wait in the queue while the event loop runs on. Every byte value occurs;
// raw mode keeps the line discipline from changing any of them.
TEST(PTYProcess, LargePasteArrivesCompleteAndInOrderWithoutBlocking) {
    constexpr qsizetype total = 50 * 1024 * 1024, first = 30 * 1024 * 1024 + 17;
    QByteArray paste(total, Qt::Uninitialized);
    std::generate(paste.begin(), paste.end(), std::mt19937(7));
    const auto bytes = [&](qsizetype from, qsizetype to) {
        return std::span(reinterpret_cast<const uint8_t*>(paste.constData()) + from, std::size_t(to - from));
    };
    QTemporaryDir dir;
    const std::string go = dir.filePath("go").toStdString();
    Child child;
    child.shell("stty raw -echo -iexten; echo READY; until [ -e '" + go +
                "' ]; do sleep 0.01; done; head -c " + std::to_string(total) + " | sha256sum");
    ASSERT_TRUE(child.printed("READY"));
    child.process.send(bytes(0, first)); // uneven parts: order across sends matters
    child.process.send(bytes(first, total - 1));
    child.process.send(bytes(total - 1, total));
    QTimer::singleShot(20, [&] { std::ofstream{go}; });
    ASSERT_TRUE(child.exited(std::chrono::minutes(2)));
    const QByteArray expected = QCryptographicHash::hash(paste, QCryptographicHash::Sha256).toHex();
    EXPECT_NE(child.output.find(expected.toStdString()), std::string::npos) << child.output;
}

} // namespace
} // namespace tarvik
