#pragma once

#include "BuildInfo.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace tarvik {

// One child program on a pseudo-terminal. Everything happens on the thread that
// owns the instance and runs its Qt event loop: output, writable input and the
// child's exit arrive as event-loop notifications, so nothing here ever blocks
// that thread or needs a lock. A reconnect starts a new child on the same instance.
class PTYProcess {
  public:
    using Bytes = std::vector<uint8_t>;

    // Each chunk of child output, in order, one call per read. The chunk is a
    // fresh vector that the callee may keep. The callee may destroy this
    // instance; nothing more is delivered afterwards.
    std::function<void(Bytes)> onData;
    // Called once when the child has been reaped: its exit status, or 128 plus
    // the number of the signal that ended it. -1 when the child was reaped by
    // someone else and its status is unknown.
    std::function<void(int32_t)> onExit;

    // `storeDistribution` chooses the sandboxed environment (a private HOME
    // subfolder for the connection engine's state); tests force it.
    explicit PTYProcess(bool storeDistribution = BuildInfo::storeDistribution);
    // A child that is still running is killed with its process group and reaped
    // off this thread; `onExit` is not called.
    ~PTYProcess();
    PTYProcess(const PTYProcess&) = delete;
    PTYProcess& operator=(const PTYProcess&) = delete;

    // Throws AppError when already running, when `executable` is not an
    // executable file, or when no pseudo-terminal can be opened; throws
    // std::filesystem::filesystem_error when the store folder cannot be made.
    // `arguments` excludes argument zero; `executable` is not looked up in PATH.
    void start(const std::string& executable, const std::vector<std::string>& arguments, int columns,
               int rows, const std::string& terminalType);
    // Queues input for the child without blocking; dropped when not running.
    void send(std::span<const uint8_t> bytes);
    void send(std::string_view text);
    void resize(int columns, int rows);
    // SIGHUP to the child's process group now, SIGKILL one second later if the
    // same child is still running. The exit is reported through `onExit` as usual.
    void terminate();

    int32_t pid() const { return pid_; }
    bool running() const { return running_; }

  private:
    void watchOutput();
    void watchExit();
    void drain(std::size_t limit);
    void handleExit();
    void finish(int32_t code);
    void flushWrite();
    void cleanup();
    bool hasPendingWrite() const { return pendingOffset_ < pendingWrite_.size(); }

    bool storeDistribution_;
    int32_t pid_ = 0;
    bool running_ = false;
    int master_ = -1;
    int exitDescriptor_ = -1;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> monitor_;
    std::unique_ptr<QTimer> monitorPoll_;
    // Written from `pendingOffset_` on; the front is only compacted when it
    // outweighs the rest, so a large paste is not shifted on every partial write.
    Bytes pendingWrite_;
    std::size_t pendingOffset_ = 0;
    std::unique_ptr<QSocketNotifier> writer_;
    // Event handlers and the delayed kill hold this weakly: once the instance is
    // gone (even from inside one of its own callbacks) they do nothing.
    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};

} // namespace tarvik
