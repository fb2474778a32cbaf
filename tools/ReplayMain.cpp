// tarvik-replay: feeds captured program output to a terminal and prints the screen.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QImageWriter>

#include "terminal/Terminal.h"
#include "tools/CaptureDelegate.h"
#include "tools/ScreenReport.h"
#include "tools/ToolOptions.h"
#include "view/qt/ShippedFonts.h"
#include "view/qt/TerminalView.h"

namespace {

using namespace tarvik;

// Reads the descriptor to its end; false with errno set on a read error (a folder
// given as FILE fails here with EISDIR rather than replaying as empty).
bool readAll(int fd, std::vector<uint8_t>& out) {
    uint8_t block[65536];
    while (true) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.insert(out.end(), block, block + n);
    }
}

// Feeds in chunks of options.chunk bytes, cutting a chunk short where a resize is due,
// so each resize lands exactly after its offset whatever the chunk size.
void replay(Terminal& terminal, const std::vector<uint8_t>& data, const ToolOptions& options) {
    std::size_t fed = 0;
    auto next = options.resizes.begin();
    const auto applyDue = [&] {
        for (; next != options.resizes.end() && next->offset <= fed; ++next)
            terminal.resize(next->cols, next->rows);
    };
    applyDue();
    while (fed < data.size()) {
        std::size_t end = std::min(data.size(), fed + options.chunk);
        if (next != options.resizes.end() && next->offset < end) end = next->offset;
        terminal.feed(std::span<const uint8_t>(data.data() + fed, end - fed));
        fed = end;
        applyDue();
    }
    // A resize past the end still gives the size asked for.
    for (; next != options.resizes.end(); ++next)
        terminal.resize(next->cols, next->rows);
}

// Nobody answers the program: replies are dropped.
class SilentHost : public TerminalViewDelegate {
  public:
    void send(TerminalViewCore&, std::span<const uint8_t>) override {}
};

// Draws the final screen with the terminal widget's painter, offscreen, into a PNG file.
int renderPng(int argc, char** argv, const std::vector<uint8_t>& data, const ToolOptions& options) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SilentHost host;
    TerminalOptions terminalOptions;
    terminalOptions.cols = options.cols;
    terminalOptions.rows = options.rows;
    terminalOptions.scrollback = options.scrollback;
    TerminalView view(host, terminalOptions);
    QFont font = ShippedFonts::defaultFont();
    font.setPointSize(options.fontSize);
    view.setTerminalFont(font);
    view.resizeToGrid(options.cols, options.rows);
    replay(view.terminal(), data, options);
    QImageWriter writer(QString::fromStdString(*options.png), "png");
    if (!writer.write(view.renderImage(options.scale))) {
        std::cerr << "tarvik-replay: cannot write " << *options.png << ": "
                  << writer.errorString().toStdString() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ToolOptions options;
    try {
        options = ToolOptions::parseReplay(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "tarvik-replay: " << error.what() << '\n' << replayUsage << '\n';
        return 2;
    }
    if (options.help) {
        std::cout << replayUsage << '\n';
        return 0;
    }

    std::vector<uint8_t> data;
    const std::string source = options.file.value_or("standard input");
    const int fd = options.file ? ::open(options.file->c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    const bool ok = fd >= 0 && readAll(fd, data);
    const int error = errno;
    if (options.file && fd >= 0) ::close(fd);
    if (!ok) {
        std::cerr << "tarvik-replay: cannot read " << source << ": " << std::strerror(error) << '\n';
        return 1;
    }

    if (options.png) return renderPng(argc, argv, data, options);

    CaptureDelegate capture;
    TerminalOptions terminalOptions;
    terminalOptions.cols = options.cols;
    terminalOptions.rows = options.rows;
    terminalOptions.scrollback = options.scrollback;
    Terminal terminal(capture, terminalOptions);
    replay(terminal, data, options);
    std::cout << screenReport(terminal, capture, options.format) << std::flush;
    return std::cout ? 0 : 1;
}
