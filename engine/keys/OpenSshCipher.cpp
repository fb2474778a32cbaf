#include "engine/keys/OpenSshCipher.h"

#include "engine/keys/KeyFileIO.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik {

namespace {

bool readBack(int fd, SecretString& out) {
    out.clear();
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size <= 0 || info.st_size > (1 << 20)) return false;
    out.resize(static_cast<size_t>(info.st_size));
    return pread(fd, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size());
}

// Runs `ssh-keygen -p` on the memory file with `answers` as its typed input
// (no terminal, so it reads them from standard input). Its exit status.
int runKeygen(int keyFd, std::string_view answers) {
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(input[0], STDIN_FILENO);
        // dup2 onto itself would keep close-on-exec set.
        if (keyFd == 3)
            fcntl(3, F_SETFD, 0);
        else
            dup2(keyFd, 3);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        char* const argv[] = {const_cast<char*>("ssh-keygen"),
                              const_cast<char*>("-q"),
                              const_cast<char*>("-p"),
                              const_cast<char*>("-f"),
                              const_cast<char*>("/proc/self/fd/3"),
                              nullptr};
        char* const env[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
        execve("/usr/bin/ssh-keygen", argv, env);
        _exit(127);
    }
    close(input[0]);
    if (pid < 0) {
        close(input[1]);
        return -1;
    }
    auto previous = signal(SIGPIPE, SIG_IGN);
    writeAll(input[1], answers);
    close(input[1]);
    signal(SIGPIPE, previous);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool reprotect(std::string_view in, const SecretString& answers, SecretString& out, std::string& error,
               const char* failure) {
    int fd = memfd_create("tarvik-key", MFD_CLOEXEC);
    if (fd < 0 || fchmod(fd, 0600) != 0 || !writeAll(fd, in)) {
        if (fd >= 0) close(fd);
        error = "cannot hold the key in memory";
        return false;
    }
    const int status = runKeygen(fd, answers);
    bool ok = status == 0 && readBack(fd, out);
    // Leave nothing readable behind in the memory file's pages.
    [[maybe_unused]] int wiped = ftruncate(fd, 0);
    close(fd);
    if (!ok) error = status == 127 ? "ssh-keygen is needed for passphrase-protected OpenSSH keys" : failure;
    return ok;
}

} // namespace

bool encryptOpenSshText(std::string_view plain, const SecretString& passphrase, SecretString& out,
                        std::string& error) {
    SecretString answers = secretWithRoom(2 * passphrase.size() + 2);
    answers += passphrase;
    answers += '\n';
    answers += passphrase;
    answers += '\n';
    return reprotect(plain, answers, out, error, "ssh-keygen could not encrypt the key");
}

bool decryptOpenSshText(std::string_view encrypted, const SecretString& passphrase, SecretString& out,
                        std::string& error) {
    SecretString answers = secretWithRoom(passphrase.size() + 3);
    answers += passphrase;
    answers += "\n\n\n";
    return reprotect(encrypted, answers, out, error, "wrong passphrase");
}

} // namespace tarvik
