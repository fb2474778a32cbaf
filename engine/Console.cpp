#include "engine/Console.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvik {

namespace {

// Shared with the signal handlers, so plain statics of async-signal-safe types.
struct termios savedSettings;
volatile sig_atomic_t haveSavedSettings = 0;
int resizePipe[2] = {-1, -1};
// Longer than any password or passphrase a person types.
constexpr size_t lineCapacity = 1024;

void restoreSavedSettings() {
    if (haveSavedSettings) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
}

void onTerminatingSignal(int sig) {
    restoreSavedSettings();
    // Die of the same signal so that the parent sees why we ended.
    signal(sig, SIG_DFL);
    raise(sig);
}

void onWindowChange(int) {
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] auto n = write(resizePipe[1], &byte, 1);
    errno = saved;
}

} // namespace

Console::Console() {
    isTerminal_ = isatty(STDIN_FILENO) == 1;
    if (isTerminal_ && tcgetattr(STDIN_FILENO, &savedSettings) == 0) haveSavedSettings = 1;
    if (pipe2(resizePipe, O_CLOEXEC | O_NONBLOCK) != 0) resizePipe[0] = resizePipe[1] = -1;

    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onTerminatingSignal;
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT})
        sigaction(sig, &action, nullptr);
    action.sa_handler = onWindowChange;
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

Console::~Console() {
    restore();
}

void Console::enterRawMode() {
    if (!haveSavedSettings) return;
    struct termios raw = savedSettings;
    cfmakeraw(&raw);
    // TCSANOW keeps what the user typed ahead while the connection was being set up.
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

void Console::restore() {
    restoreSavedSettings();
}

WindowSize Console::windowSize() const {
    struct winsize ws {};
    WindowSize size;
    if (ioctl(STDIN_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        size.columns = ws.ws_col;
        size.rows = ws.ws_row;
    }
    return size;
}

int Console::resizeDescriptor() const {
    return resizePipe[0];
}

bool Console::takeResize() {
    char buffer[64];
    bool any = false;
    while (read(resizePipe[0], buffer, sizeof buffer) > 0)
        any = true;
    return any;
}

bool Console::readLine(const std::string& prompt, std::string& line, bool echo) {
    struct termios settings {};
    bool changed = false;
    if (isTerminal_ && tcgetattr(STDIN_FILENO, &settings) == 0) {
        struct termios asking = settings;
        asking.c_lflag |= ICANON | ISIG;
        asking.c_iflag |= ICRNL;
        if (echo)
            asking.c_lflag |= ECHO | ECHOE | ECHOK;
        else
            asking.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        asking.c_lflag |= ECHONL;
        // Flushing drops stale typeahead, so it can never be taken for the answer.
        changed = tcsetattr(STDIN_FILENO, TCSAFLUSH, &asking) == 0;
    }
    writeAll(STDERR_FILENO, prompt.data(), prompt.size());
    wipe(line);
    line.reserve(lineCapacity);
    bool gotLine = false;
    char c;
    for (;;) {
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        gotLine = true;
        if (c == '\n' || c == '\r') break;
        if (line.size() + 1 < lineCapacity) line += c;
    }
    c = 0;
    if (changed) tcsetattr(STDIN_FILENO, TCSANOW, &settings);
    if (!echo && !isTerminal_) writeAll(STDERR_FILENO, "\n", 1);
    return gotLine;
}

void Console::wipe(std::string& secret) {
    // Through the whole capacity: a shorter earlier answer may have used the same storage.
    secret.resize(secret.capacity());
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

void Console::writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            struct pollfd waitFor {
                fd, POLLOUT, 0
            };
            poll(&waitFor, 1, -1);
            continue;
        }
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void Console::message(const std::string& text) {
    std::string line = "skiv: " + text + "\r\n";
    writeAll(STDERR_FILENO, line.data(), line.size());
}

} // namespace tarvik
