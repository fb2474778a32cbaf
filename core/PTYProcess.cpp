#include "core/PTYProcess.h"

#include "core/AppError.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace tarvik {
namespace {

constexpr std::size_t readChunk = 16384;
constexpr std::size_t readLimitPerEvent = 262144;
// Without a pidfd the exit is polled; slow enough to cost nothing, fast enough
// that a closing session does not feel stuck.
constexpr int exitPollMilliseconds = 50;

struct Environment {
    // Keys compare bytewise, which for UTF-8 is code-point order.
    std::map<std::string, std::string> values;

    static Environment inherited() {
        Environment env;
        for (char** entry = environ; entry && *entry; ++entry) {
            std::string_view text(*entry);
            const auto equals = text.find('=');
            if (equals == std::string_view::npos) continue;
            // The first of duplicate entries wins, as it does for getenv.
            env.values.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
        }
        return env;
    }

    void set(const std::string& key, const std::string& value) { values.insert_or_assign(key, value); }
};

// NUL-terminated strings owned by `storage`, with the null-ended pointer array
// execve wants. Built before forking: the child may not allocate.
struct StringVector {
    std::vector<std::string> storage;
    std::vector<char*> pointers;

    void seal() {
        pointers.clear();
        for (auto& s : storage)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
};

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::filesystem::filesystem_error folderError(const char* what, const std::filesystem::path& path,
                                              int error) {
    return std::filesystem::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// $HOME when set, so a user (or a test) can redirect it; otherwise the
// password database.
std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return entry->pw_dir;
    throw folderError("no home folder", {}, ENOENT);
}

// mkdir with mode 0700 rather than create_directories: the folders never exist
// with wider permissions, not even for a moment. The explicit chmod overrides a
// umask that would strip owner bits.
void makePrivateFolders(const std::filesystem::path& folder) {
    std::filesystem::path current;
    for (const auto& part : folder) {
        current /= part;
        if (::mkdir(current.c_str(), 0700) == 0) {
            if (::chmod(current.c_str(), 0700) != 0)
                throw folderError("cannot protect folder", current, errno);
            continue;
        }
        const int error = errno;
        if (error == EEXIST && std::filesystem::is_directory(current)) continue;
        throw folderError("cannot create folder", current, error == EEXIST ? ENOTDIR : error);
    }
}

StringVector environmentVector(const Environment& env) {
    StringVector vector;
    vector.storage.reserve(env.values.size());
    for (const auto& [key, value] : env.values)
        vector.storage.push_back(key + "=" + value);
    vector.seal();
    return vector;
}

winsize windowSize(int columns, int rows) {
    const auto clamp = [](int value) { return static_cast<unsigned short>(std::clamp(value, 0, 65535)); };
    winsize size{};
    size.ws_col = clamp(columns);
    size.ws_row = clamp(rows);
    return size;
}

int descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 65536;
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
}

// Runs between fork and exec: system calls only. The child must not inherit
// the parent's descriptors (other sessions' masters, log files, sockets).
void closeInheritedDescriptors(int limit) noexcept {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3U, ~0U, 0U) == 0) return;
#endif
    for (int fd = 3; fd < limit; ++fd)
        ::close(fd);
}

struct PseudoTerminal {
    int master = -1;
    int slave = -1;
};

// The master is close-on-exec from its first moment, so no program started
// meanwhile by another thread inherits it. The slave is opened here, before
// forking, because the child may only make system calls. Returns the errno
// value on failure.
int openPseudoTerminal(const winsize& size, PseudoTerminal& pty) {
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) return errno;
    char name[128];
    if (::grantpt(pty.master) == 0 && ::unlockpt(pty.master) == 0 &&
        ::ptsname_r(pty.master, name, sizeof name) == 0)
        pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        const int error = errno;
        ::close(pty.master);
        pty.master = -1;
        return error;
    }
    ::ioctl(pty.slave, TIOCSWINSZ, &size);
    return 0;
}

// Runs between fork and exec: the child leads a new session whose controlling
// terminal is the slave, on its standard descriptors.
void attachTerminal(int slave) noexcept {
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(slave, fd);
    if (slave > 2) ::close(slave);
}

// Runs between fork and exec. Ignored signals stay ignored across execve and
// the signal mask is inherited, so whatever this program ignores or blocks
// would silently reach the child (a shell deaf to Ctrl-C); it starts with
// every signal at its default and none blocked. Dispositions first, so no
// handler of ours can run once the mask opens.
void resetSignals() noexcept {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &standard, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// With SIGCHLD ignored (inherited from a parent that ignores it) the kernel
// reaps children at once and their exit status is lost, so a session could
// never say how it ended.
void keepChildStatusReadable() {
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) != 0) return;
    if (current.sa_handler != SIG_IGN && !(current.sa_flags & SA_NOCLDWAIT)) return;
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    ::sigaction(SIGCHLD, &standard, nullptr);
}

int openExitDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Until the new child has made itself a session leader (a moment after fork
// returns here) its process group does not exist yet; the signal then goes to
// the child itself, so a quick hang-up or disposal is not lost.
void signalGroup(pid_t leader, int signal) {
    if (::kill(-leader, signal) != 0 && errno == ESRCH) ::kill(leader, signal);
}

int32_t exitCode(int status) {
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// An event-loop handler that does nothing once the instance is gone.
template <typename Handler> auto guarded(const std::shared_ptr<char>& alive, Handler handler) {
    return [weak = std::weak_ptr<char>(alive), handler]() {
        if (!weak.expired()) handler();
    };
}

} // namespace

PTYProcess::PTYProcess(bool storeDistribution) : storeDistribution_(storeDistribution) {}

PTYProcess::~PTYProcess() {
    alive_.reset();
    if (running_ && pid_ >= 1) {
        signalGroup(pid_, SIGKILL);
        const pid_t child = pid_;
        const auto reap = [child] {
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        };
        try {
            std::thread(reap).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the child is already dying from SIGKILL, so
            // waiting here is brief and still leaves no zombie.
            reap();
        }
    }
    cleanup();
}

void PTYProcess::start(const std::string& executable, const std::vector<std::string>& arguments, int columns,
                       int rows, const std::string& terminalType) {
    if (running_) throw AppError("Процесс уже запущен.");
    if (!isExecutableFile(executable)) throw AppError("Не найден исполняемый файл: " + executable);

    Environment env = Environment::inherited();
    env.set("TERM", terminalType);
    env.set("COLORTERM", "truecolor");
    env.set("TERM_PROGRAM", "Tarvik");
    // Passwords and passphrases are asked in the terminal, never by a graphical helper.
    env.set("SSH_ASKPASS_REQUIRE", "never");
    env.set("LC_CTYPE", "UTF-8");
    if (storeDistribution_) {
        const auto home = homeFolder();
        env.set("HOME", home.string());
        const auto orvel = home / "Library" / "Application Support" / "Tarvik" / "Orvel";
        makePrivateFolders(orvel);
        env.set("ORVELDIR", orvel.string());
    }

    StringVector argv;
    argv.storage.reserve(arguments.size() + 1);
    argv.storage.push_back(executable);
    argv.storage.insert(argv.storage.end(), arguments.begin(), arguments.end());
    argv.seal();
    StringVector envp = environmentVector(env);
    winsize size = windowSize(columns, rows);
    const int limit = descriptorLimit();

    PseudoTerminal pty;
    if (const int error = openPseudoTerminal(size, pty); error != 0)
        throw AppError(std::string("Не удалось открыть PTY: ") + std::strerror(error));
    keepChildStatusReadable();
    // Every signal is held from fork until the child has reset its
    // dispositions, so one sent at once (a quick hang-up) is not lost to a
    // disposition this program inherited, such as an ignored SIGHUP.
    sigset_t all, previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t child = ::fork();
    if (child == 0) {
        attachTerminal(pty.slave);
        resetSignals();
        closeInheritedDescriptors(limit);
        ::execve(executable.c_str(), argv.pointers.data(), envp.pointers.data());
        ::_exit(127);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(pty.slave);
    if (child < 0) {
        ::close(pty.master);
        throw AppError(std::string("Не удалось открыть PTY: ") + std::strerror(forkError));
    }

    pid_ = child;
    running_ = true;
    master_ = pty.master;
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags >= 0) ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    watchOutput();
    watchExit();
}

void PTYProcess::watchOutput() {
    reader_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(reader_.get(), &QSocketNotifier::activated, reader_.get(),
                     guarded(alive_, [this] { drain(readLimitPerEvent); }));
}

void PTYProcess::watchExit() {
    exitDescriptor_ = openExitDescriptor(pid_);
    if (exitDescriptor_ >= 0) {
        monitor_ = std::make_unique<QSocketNotifier>(exitDescriptor_, QSocketNotifier::Read);
        QObject::connect(monitor_.get(), &QSocketNotifier::activated, monitor_.get(),
                         guarded(alive_, [this] { handleExit(); }));
        return;
    }
    // Kernels without pidfds: look, without reaping, whether the child has ended.
    monitorPoll_ = std::make_unique<QTimer>();
    QObject::connect(monitorPoll_.get(), &QTimer::timeout, monitorPoll_.get(), guarded(alive_, [this] {
                         siginfo_t info{};
                         const int result =
                             ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
                         if ((result == 0 && info.si_pid == pid_) || (result < 0 && errno == ECHILD))
                             handleExit();
                     }));
    monitorPoll_->start(exitPollMilliseconds);
}

void PTYProcess::drain(std::size_t limit) {
    if (master_ < 0) return;
    std::array<uint8_t, readChunk> buffer;
    const std::weak_ptr<char> alive = alive_;
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            if (onData) {
                onData(Bytes(buffer.begin(), buffer.begin() + n));
                if (alive.expired()) return;
            }
            if (total >= limit) return;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (total >= limit) return;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of file, or EIO once the child side has closed: no more output.
        // The exit itself still comes from the exit watch.
        reader_.reset();
        return;
    }
}

void PTYProcess::handleExit() {
    if (!running_) return;
    const std::weak_ptr<char> alive = alive_;
    drain(std::numeric_limits<std::size_t>::max());
    if (alive.expired()) return;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        finish(exitCode(status));
    } else if (result < 0 && errno == ECHILD) {
        // Someone else reaped the child (or SIGCHLD is ignored): the status is
        // lost, but the session has ended and the exit watch would otherwise
        // fire forever.
        finish(-1);
    }
}

void PTYProcess::finish(int32_t code) {
    running_ = false;
    cleanup();
    // A copy, because the callback may replace itself or destroy this instance.
    if (auto callback = onExit) callback(code);
}

void PTYProcess::send(std::span<const uint8_t> bytes) {
    if (!running_ || master_ < 0 || bytes.empty()) return;
    if (pendingOffset_ > 0 && pendingOffset_ >= pendingWrite_.size() / 2) {
        pendingWrite_.erase(pendingWrite_.begin(),
                            pendingWrite_.begin() + static_cast<std::ptrdiff_t>(pendingOffset_));
        pendingOffset_ = 0;
    }
    pendingWrite_.insert(pendingWrite_.end(), bytes.begin(), bytes.end());
    flushWrite();
    if (hasPendingWrite() && !writer_) {
        writer_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
        QObject::connect(writer_.get(), &QSocketNotifier::activated, writer_.get(),
                         guarded(alive_, [this] { flushWrite(); }));
    }
}

void PTYProcess::send(std::string_view text) {
    send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void PTYProcess::flushWrite() {
    if (master_ < 0) return;
    bool lost = false;
    while (hasPendingWrite()) {
        const ssize_t n =
            ::write(master_, pendingWrite_.data() + pendingOffset_, pendingWrite_.size() - pendingOffset_);
        if (n > 0) {
            pendingOffset_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        lost = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        break;
    }
    if (lost || !hasPendingWrite()) {
        // Release the memory of a large paste once it has gone out.
        Bytes().swap(pendingWrite_);
        pendingOffset_ = 0;
        writer_.reset();
    }
}

void PTYProcess::resize(int columns, int rows) {
    if (master_ < 0) return;
    winsize size = windowSize(columns, rows);
    ::ioctl(master_, TIOCSWINSZ, &size);
}

void PTYProcess::terminate() {
    if (!running_ || pid_ < 1) return;
    const pid_t target = pid_;
    signalGroup(target, SIGHUP);
    QTimer::singleShot(1000, guarded(alive_, [this, target] {
                           if (running_ && pid_ == target) signalGroup(target, SIGKILL);
                       }));
}

void PTYProcess::cleanup() {
    // Notifiers go before their descriptors are closed, so the event loop never
    // watches a closed (or reused) descriptor.
    reader_.reset();
    writer_.reset();
    Bytes().swap(pendingWrite_);
    pendingOffset_ = 0;
    monitor_.reset();
    monitorPoll_.reset();
    if (exitDescriptor_ >= 0) {
        ::close(exitDescriptor_);
        exitDescriptor_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

} // namespace tarvik
