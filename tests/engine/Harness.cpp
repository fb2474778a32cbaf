#include "Harness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik::test {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

PtyRunner::PtyRunner(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                     unsigned short columns, unsigned short rows)
    : PtyRunner(Program{SKIV_PATH}, args, env, columns, rows) {}

PtyRunner::PtyRunner(const Program& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, unsigned short columns,
                     unsigned short rows) {
    struct winsize size {};
    size.ws_col = columns;
    size.ws_row = rows;
    // The test's own agent must not log skiv in behind the test's back.
    std::map<std::string, std::string> merged{{"TERM", "xterm"}};
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        auto equals = entry.find('=');
        if (equals != std::string::npos && entry.compare(0, equals, "TERM") != 0 &&
            entry.compare(0, equals, "SSH_AUTH_SOCK") != 0)
            merged[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    for (const auto& [key, value] : env)
        merged[key] = value;
    std::vector<std::string> environment;
    for (const auto& [key, value] : merged)
        environment.push_back(key + "=" + value);
    std::vector<std::string> argv{program.path};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (auto& a : argv)
        argp.push_back(a.data());
    for (auto& e : environment)
        envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyRunner::~PtyRunner() {
    if (status_ < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(master_);
}

void PtyRunner::send(const std::string& bytes) {
    writeAll(master_, bytes);
}

void PtyRunner::resize(unsigned short columns, unsigned short rows) {
    struct winsize size {};
    size.ws_col = columns;
    size.ws_row = rows;
    ioctl(master_, TIOCSWINSZ, &size);
}

bool PtyRunner::pump(std::chrono::milliseconds timeout) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buffer[4096];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
}

bool PtyRunner::waitFor(const std::string& text, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    for (;;) {
        if (auto at = output_.find(text, consumed_); at != std::string::npos) {
            consumed_ = at + text.size();
            return true;
        }
        if (Clock::now() >= end) return false;
        if (!pump(std::chrono::milliseconds(remainingMs(end))) && status_ < 0) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                while (pump(0ms)) {
                }
                status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            }
        }
        if (status_ >= 0 && output_.find(text, consumed_) == std::string::npos) return false;
    }
}

int PtyRunner::waitExit(std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (status_ < 0) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            while (pump(0ms)) {
            }
            status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            break;
        }
        if (Clock::now() >= end) return -1;
        // Output keeps flowing while we wait; the poll doubles as the wait between checks.
        pump(std::min(std::chrono::milliseconds(remainingMs(end)), 50ms));
    }
    return status_;
}

Listener::Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 8) != 0)
        throw std::runtime_error("listen failed");
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

Listener::~Listener() {
    close(fd_);
}

int Listener::accept(std::chrono::milliseconds timeout) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

EchoServer::EchoServer() {
    if (pipe(stop_) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] {
        for (;;) {
            int fd = listener_.accept(100ms);
            pollfd stop{stop_[0], POLLIN, 0};
            if (poll(&stop, 1, 0) > 0) {
                if (fd >= 0) close(fd);
                return;
            }
            if (fd < 0) continue;
            char buffer[4096];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0)
                writeAll(fd, std::string(buffer, static_cast<size_t>(n)));
            close(fd);
        }
    });
}

EchoServer::~EchoServer() {
    writeAll(stop_[1], "x");
    thread_.join();
    close(stop_[0]);
    close(stop_[1]);
}

Helper::Helper(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        for (const auto& [key, value] : env)
            setenv(key.c_str(), value.c_str(), 1);
        execv(argp[0], argp.data());
        _exit(127);
    }
    close(out[1]);
    out_ = out[0];
}

Helper::~Helper() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(out_);
}

std::string Helper::readLine(std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    for (;;) {
        if (auto at = pending_.find('\n'); at != std::string::npos) {
            std::string line = pending_.substr(0, at);
            pending_.erase(0, at + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, remainingMs(end)) <= 0) return "";
        char buffer[512];
        ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) return "";
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

TestAgent::TestAgent(const std::filesystem::path& folder) : socket_((folder / "agent.sock").string()) {
    agent_ = std::make_unique<Helper>(std::vector<std::string>{"/usr/bin/ssh-agent", "-D", "-a", socket_});
    auto end = Clock::now() + deadline;
    while (!std::filesystem::exists(socket_)) {
        if (Clock::now() >= end) throw std::runtime_error("ssh-agent did not start");
        std::this_thread::sleep_for(10ms);
    }
    const std::string key = (folder / "agent_key").string();
    run("ssh-keygen -q -t ed25519 -N '' -f " + key);
    run("SSH_AUTH_SOCK=" + socket_ + " ssh-add -q " + key + " 2>/dev/null");
}

std::filesystem::path makeTempDir(const std::string& stem) {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

Sshd::Sshd(const std::filesystem::path& folder, const std::filesystem::path& hostKey,
           const std::string& settings)
    : folder_(folder), port_(unusedPort()) {
    std::ofstream(folder_ / "sshd_config")
        << "Port " << port_ << "\nListenAddress 127.0.0.1\n"
        << "HostKey " << hostKey.string() << "\n"
        << "PidFile " << (folder_ / "sshd.pid").string() << "\n"
        << "AuthorizedKeysFile " << (folder_ / "authorized_keys").string() << "\n"
        << "UsePAM no\nStrictModes no\nPermitRootLogin yes\n"
        << "PrintMotd no\nPrintLastLog no\n"
        << settings;
    // sshd insists on its privilege-separation folder when it runs as root.
    if (getuid() == 0) std::filesystem::create_directories("/run/sshd");
    pid_ = fork();
    if (pid_ == 0) {
        if (!freopen((folder_ / "sshd.log").c_str(), "w", stderr)) _exit(126);
        execl(path, path, "-D", "-e", "-f", (folder_ / "sshd_config").c_str(), nullptr);
        _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        const int fd = connectLoopback(port_);
        if (fd >= 0) {
            close(fd);
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
        std::this_thread::sleep_for(20ms);
    }
    const std::string why = log();
    if (waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    throw std::runtime_error("sshd did not start: " + why);
}

Sshd::~Sshd() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

std::string Sshd::log() const {
    return readFile(folder_ / "sshd.log");
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

long statusKiB(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

uint16_t unusedPort() {
    Listener listener;
    return listener.port();
}

int connectLoopback(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string readUntil(int fd, const std::string& text, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    std::string got;
    while (got.find(text) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, remainingMs(end)) <= 0) break;
        char buffer[4096];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

} // namespace tarvik::test
