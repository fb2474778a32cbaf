// tarvik-headless: runs a program on a pseudo-terminal with no window and prints the
// screen it leaves behind. For automation and for testing full-screen programs.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <iostream>
#include <memory>
#include <unistd.h>

#include "core/AppError.h"
#include "core/PTYProcess.h"
#include "terminal/Terminal.h"
#include "tools/CaptureDelegate.h"
#include "tools/ScreenReport.h"
#include "tools/ToolOptions.h"

namespace {

using namespace tarvik;

constexpr int timeoutStatus = 124;
constexpr int cannotRunStatus = 126;
constexpr int notFoundStatus = 127;

// Our standard input goes to the child as if typed, so a script can drive a program
// that reads the terminal. At end of input the child is left to finish on its own.
std::unique_ptr<QSocketNotifier> forwardStandardInput(PTYProcess& process) {
    auto notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QSocketNotifier* raw = notifier.get();
    QObject::connect(raw, &QSocketNotifier::activated, raw, [raw, &process] {
        uint8_t block[4096];
        const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n > 0)
            process.send(std::span<const uint8_t>(block, static_cast<std::size_t>(n)));
        else if (n == 0 || errno != EINTR)
            raw->setEnabled(false);
    });
    return notifier;
}

int exitStatus(int32_t code) {
    return code >= 0 && code <= 255 ? code : 1;
}

} // namespace

int main(int argc, char** argv) {
    ToolOptions options;
    try {
        options = ToolOptions::parseHeadless(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "tarvik-headless: " << error.what() << '\n' << headlessUsage << '\n';
        return 2;
    }
    if (options.help) {
        std::cout << headlessUsage << '\n';
        return 0;
    }
    const auto program = findProgram(options.command.front());
    if (!program) {
        std::cerr << "tarvik-headless: " << options.command.front() << ": command not found\n";
        return notFoundStatus;
    }

    QCoreApplication app(argc, argv);
    CaptureDelegate capture;
    TerminalOptions terminalOptions;
    terminalOptions.cols = options.cols;
    terminalOptions.rows = options.rows;
    Terminal terminal(capture, terminalOptions);
    PTYProcess process;
    capture.forward = [&process](std::span<const uint8_t> reply) { process.send(reply); };

    bool timedOut = false;
    process.onData = [&terminal](PTYProcess::Bytes chunk) { terminal.feed(chunk); };
    process.onExit = [&](int32_t code) {
        std::cout << screenReport(terminal, capture, options.format) << std::flush;
        app.exit(timedOut ? timeoutStatus : exitStatus(code));
    };

    try {
        const std::vector<std::string> arguments(options.command.begin() + 1, options.command.end());
        process.start(*program, arguments, terminal.cols(), terminal.rows(), "xterm-256color");
    } catch (const AppError& error) {
        std::cerr << "tarvik-headless: " << error.message() << '\n';
        return cannotRunStatus;
    }
    const auto input = forwardStandardInput(process);
    if (options.timeoutSeconds > 0) {
        QTimer::singleShot(static_cast<int>(options.timeoutSeconds * 1000), &app, [&] {
            timedOut = true;
            process.terminate();
        });
    }
    return app.exec();
}
