#include "engine/SshClient.h"

#include "engine/Failure.h"
#include "engine/Forwarder.h"
#include "engine/KnownHosts.h"
#include "engine/LocalUser.h"
#include "engine/Net.h"
#include "engine/SshAuth.h"

#include <algorithm>
#include <cerrno>
#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace tarvik {

namespace {

constexpr size_t chunkSize = 16384;
constexpr size_t inputLimit = 256 * 1024;
// libssh may hold decrypted data or unsent packets that poll cannot see; a
// short wake-up bounds how long either can wait.
constexpr int pollIntervalMs = 200;
// The status OpenSSH's client reports when the remote side gave none.
constexpr int noExitStatus = 255;

// The session with everything its callbacks reach. The callbacks live as long
// as the session; the forwarder goes first, and reset() empties the pointer
// before the forwarder is destroyed, so a callback run meanwhile finds none.
struct SessionOwner {
    ssh_session session = ssh_new();
    ssh_callbacks_struct callbacks{};
    std::unique_ptr<Forwarder> forwarder;
    ~SessionOwner() {
        forwarder.reset();
        if (ssh_is_connected(session)) ssh_disconnect(session);
        ssh_free(session);
    }
};

struct ChannelOwner {
    ssh_channel channel = nullptr;
    ~ChannelOwner() {
        if (channel) ssh_channel_free(channel);
    }
};

void configure(ssh_session session, const Options& options, const std::string& user) {
    const unsigned port = options.effectivePort();
    const long timeout = options.timeoutSeconds;
    const int no = 0;
    const std::string knownHosts = knownHostsPath();
    ssh_options_set(session, SSH_OPTIONS_HOST, options.host.c_str());
    ssh_options_set(session, SSH_OPTIONS_PORT, &port);
    ssh_options_set(session, SSH_OPTIONS_USER, user.c_str());
    ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
    ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout);
    // Everything comes from the command line, so a profile behaves the same on every machine.
    ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(session, SSH_OPTIONS_COMPRESSION, options.compression ? "yes" : "no");
}

// Returns whether the server granted agent forwarding.
bool openShell(ssh_channel channel, const Options& options, WindowSize size) {
    if (ssh_channel_open_session(channel) != SSH_OK) throw Failure("cannot open a session channel");
    bool agentGranted = false;
    if (options.agentForwarding) {
        agentGranted = ssh_channel_request_auth_agent(channel) == SSH_OK;
        if (!agentGranted) Console::message("agent forwarding was refused");
    }
    if (options.requestPty) {
        const std::string term = terminalType();
        if (ssh_channel_request_pty_size(channel, term.c_str(), size.columns, size.rows) != SSH_OK)
            Console::message("the server refused a terminal");
    }
    if (ssh_channel_request_shell(channel) != SSH_OK) throw Failure("the server refused to start a shell");
    return agentGranted;
}

// The interactive part: the shell channel plus forwardings, until the shell's channel ends.
class ShellLoop {
  public:
    ShellLoop(ssh_session session, ssh_channel channel, Console& console, Forwarder& forwarder, bool pty)
        : session_(session), channel_(channel), console_(console), forwarder_(forwarder), pty_(pty) {}

    void run() {
        ssh_set_blocking(session_, 0);
        while (!finished()) {
            pumpAll();
            if (finished()) break;
            writeInput();
            waitForEvents();
        }
        ssh_set_blocking(session_, 1);
    }

  private:
    bool finished() const { return (outEof_ && errEof_) || ssh_channel_is_closed(channel_); }

    // Reads until a full pass moves nothing, so no data waits in libssh's buffers while we sleep.
    void pumpAll() {
        for (bool moved = true; moved;) {
            moved = readStream(0, outEof_, STDOUT_FILENO);
            moved |= readStream(1, errEof_, STDERR_FILENO);
            moved |= forwarder_.pump();
        }
    }

    bool readStream(int isStderr, bool& eof, int output) {
        if (eof) return false;
        char buffer[chunkSize];
        int n = ssh_channel_read_nonblocking(channel_, buffer, sizeof buffer, isStderr);
        if (n > 0) {
            Console::writeAll(output, buffer, static_cast<size_t>(n));
            return true;
        }
        if (n == SSH_EOF) eof = true;
        if (n == SSH_ERROR) throw Failure("connection lost: " + std::string(ssh_get_error(session_)));
        return false;
    }

    void writeInput() {
        if (input_.empty()) return;
        size_t size = std::min<size_t>(input_.size(), ssh_channel_window_size(channel_));
        if (size == 0) return;
        int n = ssh_channel_write(channel_, input_.data(), static_cast<uint32_t>(size));
        if (n == SSH_ERROR) throw Failure("connection lost: " + std::string(ssh_get_error(session_)));
        if (n > 0) input_.erase(0, static_cast<size_t>(n));
    }

    void waitForEvents() {
        const bool unsent = ssh_blocking_flush(session_, 0) == SSH_AGAIN;
        std::vector<pollfd> fds{
            {ssh_get_fd(session_), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0},
            {console_.resizeDescriptor(), POLLIN, 0},
            {STDIN_FILENO, static_cast<short>(stdinOpen_ && input_.size() < inputLimit ? POLLIN : 0), 0}};
        forwarder_.addPollEntries(fds);
        if (poll(fds.data(), fds.size(), pollIntervalMs) < 0) {
            if (errno == EINTR) return;
            throw Failure("poll failed");
        }
        // Asked even without POLLIN: a resize signal that lands as poll returns
        // has already run its handler, and the new size must go before the input read below.
        if (console_.takeResize() && pty_) {
            WindowSize size = console_.windowSize();
            ssh_channel_change_pty_size(channel_, size.columns, size.rows);
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) readInput();
        forwarder_.service(fds, 3);
    }

    void readInput() {
        char buffer[chunkSize];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            input_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            stdinOpen_ = false;
            writeInput();
            ssh_channel_send_eof(channel_);
        }
    }

    ssh_session session_;
    ssh_channel channel_;
    Console& console_;
    Forwarder& forwarder_;
    bool pty_;
    std::string input_;
    bool stdinOpen_ = true;
    bool outEof_ = false;
    bool errEof_ = false;
};

} // namespace

int runSsh(Console& console, const Options& options) {
    const std::string user = options.user.empty() ? localUserName() : options.user;
    const uint16_t port = options.effectivePort();
    SessionOwner owner;
    if (!owner.session) throw Failure("cannot create an SSH session");
    ssh_session session = owner.session;
    configure(session, options, user);

    // Callbacks must be registered before connecting; the forwarder that
    // answers agent requests exists only after the login, and refuses them
    // unless forwarding was asked for and granted.
    ssh_callbacks_init(&owner.callbacks);
    owner.callbacks.userdata = &owner;
    owner.callbacks.channel_open_request_auth_agent_function = [](ssh_session,
                                                                  void* userdata) -> ssh_channel {
        Forwarder* f = static_cast<SessionOwner*>(userdata)->forwarder.get();
        return f ? f->openAgentChannel() : nullptr;
    };
    ssh_set_callbacks(session, &owner.callbacks);

    if (ssh_connect(session) != SSH_OK)
        throw Failure("cannot connect to " + hostPortText(options.host, port) + ": " +
                      ssh_get_error(session));
    // Named as the known-hosts file names it.
    const std::string shownHost =
        port == 22 ? options.host : "[" + options.host + "]:" + std::to_string(port);
    verifyHostKey(session, console, shownHost, knownHostsPath());
    authenticate(session, console, options, user);

    owner.forwarder = std::make_unique<Forwarder>(session, options.forwards);
    ChannelOwner shell{ssh_channel_new(session)};
    if (!shell.channel) throw Failure("cannot create a channel");
    if (openShell(shell.channel, options, console.windowSize())) owner.forwarder->allowAgent();

    console.enterRawMode();
    ShellLoop(session, shell.channel, console, *owner.forwarder, options.requestPty).run();
    int status = ssh_channel_get_exit_status(shell.channel);
    ssh_channel_close(shell.channel);
    return status < 0 ? noExitStatus : status;
}

} // namespace tarvik
