#pragma once

#include <optional>
#include <string>
#include <vector>

#include "terminal/Terminal.h"

namespace tarvik::termtest {

// A row as plain text: empty cells as spaces, trailing blanks dropped.
inline std::string screenRow(const Terminal& t, int row) {
    std::string text;
    for (int col = 0; col < t.cols(); ++col) {
        const CharData* cell = t.getCharData(col, row);
        if (!cell || cell->code() == 0)
            text += ' ';
        else
            cell->appendCharacter(text, t.tables());
    }
    return text.erase(text.find_last_not_of(' ') + 1);
}

inline std::string text(std::span<const uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A host that records the replies and host-level requests of a terminal.
struct ReportsHost : TerminalDelegate {
    std::string sent;
    bool trusted = true;
    std::optional<std::vector<uint8_t>> windowAnswer;
    std::vector<WindowManipulationCommand> windowCommands;
    std::vector<std::string> titles, iconTitles, clipboard, iTerm, notifications;
    std::vector<std::pair<std::string, std::pair<ImageSizeRequest, ImageSizeRequest>>> images;
    std::vector<CursorStyle> cursorStyles;
    int mouseModeChanges = 0, bufferActivations = 0, sizeChanges = 0, locationUpdates = 0, paletteResets = 0;

    void send(Terminal&, std::span<const uint8_t> data) override { sent += text(data); }
    bool isProcessTrusted(Terminal&) override { return trusted; }
    std::optional<std::vector<uint8_t>> windowCommand(Terminal&,
                                                      const WindowManipulationCommand& command) override {
        windowCommands.push_back(command);
        return windowAnswer;
    }
    void setTerminalTitle(Terminal&, const std::string& title) override { titles.push_back(title); }
    void setTerminalIconTitle(Terminal&, const std::string& title) override { iconTitles.push_back(title); }
    void clipboardCopy(Terminal&, std::span<const uint8_t> content) override {
        clipboard.push_back(text(content));
    }
    void notify(Terminal&, const std::string& title, const std::string& body) override {
        notifications.push_back(title + "|" + body);
    }
    void iTermContent(Terminal&, std::span<const uint8_t> content) override {
        iTerm.push_back(text(content));
    }
    void createImage(Terminal&, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override {
        images.push_back({text(data) + (preserveAspectRatio ? "" : " stretched"), {width, height}});
    }
    void cursorStyleChanged(Terminal&, CursorStyle style) override { cursorStyles.push_back(style); }
    void mouseModeChanged(Terminal&) override { ++mouseModeChanges; }
    void bufferActivated(Terminal&) override { ++bufferActivations; }
    void sizeChanged(Terminal&) override { ++sizeChanges; }
    void hostCurrentDirectoryUpdated(Terminal&) override { ++locationUpdates; }
    void hostCurrentDocumentUpdated(Terminal&) override { ++locationUpdates; }
    void colorChanged(Terminal&, std::optional<int> idx) override { paletteResets += idx ? 0 : 1; }

    // What the terminal sent since the last call.
    std::string take() { return std::exchange(sent, std::string()); }
};

inline TerminalOptions sized(int cols, int rows, std::string termName = "xterm-256color") {
    TerminalOptions o;
    o.cols = cols;
    o.rows = rows;
    o.termName = std::move(termName);
    return o;
}

} // namespace tarvik::termtest
