#include "terminal/TerminalMouse.h"

#include <algorithm>
#include <limits>
#include <string>

namespace tarvik {

namespace {

constexpr int releaseCode = 3;
constexpr int motionFlag = 32;

void append(std::vector<uint8_t>& data, std::string_view text) {
    data.insert(data.end(), text.begin(), text.end());
}

// The original protocol has one byte per value: a pointer beyond column or row 222 is
// reported at the farthest position a byte can name instead of wrapping into control
// bytes the program would misread.
uint8_t x10Byte(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

} // namespace

int encodeButton(const Terminal& terminal, int button, bool release, bool shift, bool meta, bool control) {
    int code = 0;
    if (release) {
        code = releaseCode;
    } else {
        switch (button) {
        case 1:
            code = 1;
            break;
        case 2:
            code = 2;
            break;
        case 4:
            code = 64;
            break;
        case 5:
            code = 65;
            break;
        default:
            code = 0;
        }
    }
    if (!sendsModifiers(terminal.mouseMode)) return code;
    if (shift) code |= 4;
    if (meta) code |= 8;
    if (control) code |= 16;
    return code;
}

void sendEvent(Terminal& terminal, int buttonFlags, int x, int y, int pixelX, int pixelY) {
    // A pointer dragged past the top or left edge still names the first cell; the upper
    // bound only keeps the offsets below from overflowing.
    constexpr int farthest = std::numeric_limits<int>::max() - 64;
    x = std::clamp(x, 0, farthest);
    y = std::clamp(y, 0, farthest);
    std::vector<uint8_t> data;
    append(data, terminal.cc.csi());
    // Code 3 with the motion bit is the pointer moving with no button held, not
    // a release: programs that track every motion would otherwise see the left
    // button let go at each step.
    const bool released = (buttonFlags & releaseCode) == releaseCode && (buttonFlags & motionFlag) == 0;
    // The SGR forms say "released" with their final byte, so the button code stays clean.
    const int sgrButton = released ? buttonFlags & ~releaseCode : buttonFlags;
    const char sgrFinal = released ? 'm' : 'M';
    switch (terminal.mouseProtocol) {
    case MouseProtocolEncoding::x10:
        data.push_back('M');
        data.push_back(x10Byte(buttonFlags + 32));
        data.push_back(x10Byte(x + 33));
        data.push_back(x10Byte(y + 33));
        break;
    case MouseProtocolEncoding::utf8:
        data.push_back('M');
        encodeMouseUtf(data, buttonFlags + 32);
        encodeMouseUtf(data, x + 33);
        encodeMouseUtf(data, y + 33);
        break;
    case MouseProtocolEncoding::sgr:
        append(data, "<" + std::to_string(sgrButton) + ";" + std::to_string(x + 1) + ";" +
                         std::to_string(y + 1) + sgrFinal);
        break;
    case MouseProtocolEncoding::urxvt:
        append(data, std::to_string(int64_t(buttonFlags) + 32) + ";" + std::to_string(x + 1) + ";" +
                         std::to_string(y + 1) + "M");
        break;
    case MouseProtocolEncoding::sgrPixel:
        append(data, "<" + std::to_string(sgrButton) + ";" + std::to_string(pixelX) + ";" +
                         std::to_string(pixelY) + sgrFinal);
        break;
    }
    terminal.sendResponse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

void sendEvent(Terminal& terminal, int buttonFlags, int x, int y) {
    sendEvent(terminal, buttonFlags, x, y, x, y);
}

void sendMotion(Terminal& terminal, int buttonFlags, int x, int y, int pixelX, int pixelY) {
    sendEvent(terminal, buttonFlags + motionFlag, x, y, pixelX, pixelY);
}

void encodeMouseUtf(std::vector<uint8_t>& data, int ch) {
    if (ch == 2047) {
        data.push_back(0);
    } else if (ch >= 0 && ch < 128) {
        data.push_back(static_cast<uint8_t>(ch));
    } else {
        const int c = std::clamp(ch, 128, 2047);
        data.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
        data.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
    }
}

} // namespace tarvik
