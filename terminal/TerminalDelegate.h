#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "terminal/Color.h"

namespace tarvik {

class Terminal;

enum class CursorStyle : uint8_t { blinkBlock, steadyBlock, blinkUnderline, steadyUnderline, blinkBar, steadyBar };

// A window operation requested with CSI t; x/y or width/height or cols/rows in a and b.
struct WindowManipulationCommand {
    enum class Kind : uint8_t {
        moveWindowTo,
        resizeWindowTo,
        resizeTo,
        resizeToLines,
        deiconifyWindow,
        iconifyWindow,
        bringToFront,
        sendToBack,
        refreshWindow,
        restoreMaximizedWindow,
        maximizeWindow,
        maximizeWindowVertically,
        maximizeWindowHorizontally,
        undoFullScreen,
        switchToFullScreen,
        toggleFullScreen,
        reportTerminalState,
        reportTerminalPosition,
        reportTextAreaPosition,
        reporttextAreaPixelDimension,
        reportSizeOfScreenInPixels,
        reportCellSizeInPixels,
        reportTextAreaCharacters,
        reportScreenSizeCharacters,
        reportIconLabel,
        reportWindowTitle,
    };
    Kind kind = Kind::refreshWindow;
    int64_t a = 0;
    int64_t b = 0;
    friend bool operator==(const WindowManipulationCommand&, const WindowManipulationCommand&) = default;
};

// Requested size of an inline image.
struct ImageSizeRequest {
    enum class Kind : uint8_t { cells, pixels, percent, automatic };
    Kind kind = Kind::automatic;
    int64_t value = 0;
    friend bool operator==(const ImageSizeRequest&, const ImageSizeRequest&) = default;
};

// The host of a terminal. Every callback runs synchronously inside feed(); all but
// send() have defaults, so a host overrides only what it shows.
class TerminalDelegate {
public:
    virtual ~TerminalDelegate() = default;

    virtual void showCursor(Terminal& /*source*/) {}
    virtual void hideCursor(Terminal& /*source*/) {}
    virtual void setTerminalTitle(Terminal& /*source*/, const std::string& /*title*/) {}
    virtual void setTerminalIconTitle(Terminal& /*source*/, const std::string& /*title*/) {}
    // Bytes to answer a report request with, or none to let the terminal answer itself.
    virtual std::optional<std::vector<uint8_t>> windowCommand(Terminal& /*source*/,
                                                              const WindowManipulationCommand& /*command*/) {
        return std::nullopt;
    }
    virtual void sizeChanged(Terminal& /*source*/) {}
    // Bytes for the child process: replies, reports, mouse events.
    virtual void send(Terminal& source, std::span<const uint8_t> data) = 0;
    virtual void scrolled(Terminal& /*source*/, int /*yDisp*/) {}
    virtual void linefeed(Terminal& /*source*/) {}
    virtual void bufferActivated(Terminal& /*source*/) {}
    virtual void bell(Terminal& /*source*/) {}
    virtual void selectionChanged(Terminal& /*source*/) {}
    virtual bool isProcessTrusted(Terminal& /*source*/) { return true; }
    virtual void mouseModeChanged(Terminal& /*source*/) {}
    virtual void cursorStyleChanged(Terminal& /*source*/, CursorStyle /*newStyle*/) {}
    virtual void hostCurrentDirectoryUpdated(Terminal& /*source*/) {}
    virtual void hostCurrentDocumentUpdated(Terminal& /*source*/) {}
    // idx none: the whole palette changed.
    virtual void colorChanged(Terminal& /*source*/, std::optional<int> /*idx*/) {}
    // The three colour defaults store the colour in the terminal.
    virtual void setForegroundColor(Terminal& source, const Color& color);
    virtual void setBackgroundColor(Terminal& source, const Color& color);
    virtual void setCursorColor(Terminal& source, const std::optional<Color>& color);
    // (foreground, background)
    virtual std::pair<Color, Color> getColors(Terminal& source);
    virtual void iTermContent(Terminal& /*source*/, std::span<const uint8_t> /*content*/) {}
    virtual void clipboardCopy(Terminal& /*source*/, std::span<const uint8_t> /*content*/) {}
    virtual void notify(Terminal& /*source*/, const std::string& /*title*/, const std::string& /*body*/) {}
    // A decoded picture: RGBA, 4 bytes per pixel, rows top to bottom.
    virtual void createImageFromBitmap(Terminal& /*source*/, std::span<const uint8_t> /*bytes*/, int /*width*/,
                                       int /*height*/) {}
    virtual void createImage(Terminal& /*source*/, std::span<const uint8_t> /*data*/, ImageSizeRequest /*width*/,
                             ImageSizeRequest /*height*/, bool /*preserveAspectRatio*/) {}
};

} // namespace tarvik
