#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tarvik::test {

using namespace std::chrono_literals;
constexpr auto deadline = 15s;

// skiv running on a real pseudo-terminal, as the application runs it.
class PtyRunner {
  public:
    PtyRunner(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
              unsigned short columns = 80, unsigned short rows = 24);
    // Another of the engine's programs in skiv's place.
    struct Program {
        std::string path;
    };
    PtyRunner(const Program& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {}, unsigned short columns = 80,
              unsigned short rows = 24);
    ~PtyRunner();

    void send(const std::string& bytes);
    void resize(unsigned short columns, unsigned short rows);
    // Waits until `text` appears after the previous match; consumes up to its end.
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout = deadline);
    // Exit status (128 + signal for a signal), or -1 when the deadline passes.
    int waitExit(std::chrono::milliseconds timeout = deadline);
    const std::string& output() const { return output_; }
    int pid() const { return pid_; }
    int master() const { return master_; }

  private:
    bool pump(std::chrono::milliseconds timeout);

    int master_ = -1;
    int pid_ = -1;
    int status_ = -1;
    std::string output_;
    size_t consumed_ = 0;
};

// A loopback listener the test accepts from itself.
class Listener {
  public:
    Listener();
    ~Listener();
    uint16_t port() const { return port_; }
    int accept(std::chrono::milliseconds timeout = deadline); // -1 on timeout

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Echoes every connection back, one connection at a time, on its own thread.
class EchoServer {
  public:
    EchoServer();
    ~EchoServer();
    uint16_t port() const { return listener_.port(); }

  private:
    Listener listener_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// A program the test runs beside skiv (a hostile peer, an agent); killed and
// reaped when the test ends.
class Helper {
  public:
    explicit Helper(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    // The next line the program writes on its standard output ("" at the deadline or its end).
    std::string readLine(std::chrono::milliseconds timeout = deadline);
    int pid() const { return pid_; }

  private:
    int pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// An ssh-agent on a socket in `folder` holding one new key.
class TestAgent {
  public:
    explicit TestAgent(const std::filesystem::path& folder);
    const std::string& socket() const { return socket_; }

  private:
    std::string socket_;
    std::unique_ptr<Helper> agent_;
};

// A throw-away OpenSSH server on 127.0.0.1 and an unused port: host key
// `hostKey`, authorised keys in `folder`/authorized_keys, and the lines of
// `settings` after the common ones. Ready once it accepts connections; stopped
// with the object.
class Sshd {
  public:
    static constexpr const char* path = "/usr/sbin/sshd";
    Sshd(const std::filesystem::path& folder, const std::filesystem::path& hostKey,
         const std::string& settings);
    ~Sshd();
    Sshd(const Sshd&) = delete;
    Sshd& operator=(const Sshd&) = delete;
    uint16_t port() const { return port_; }
    std::string log() const;

  private:
    std::filesystem::path folder_;
    uint16_t port_;
    int pid_ = -1;
};

std::filesystem::path makeTempDir(const std::string& stem);
// Runs a shell command; throws when it fails.
void run(const std::string& command);
std::string readFile(const std::filesystem::path& path);
// A value from /proc/PID/status in KiB (VmRSS, VmHWM); -1 when absent.
long statusKiB(int pid, const std::string& field);

// A port nobody listens on (bound, then released).
uint16_t unusedPort();
int connectLoopback(uint16_t port);
void writeAll(int fd, const std::string& bytes);
// Reads until `text` has arrived (or the deadline); returns everything read.
std::string readUntil(int fd, const std::string& text, std::chrono::milliseconds timeout = deadline);

} // namespace tarvik::test
