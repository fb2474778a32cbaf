// ANSI and DEC private modes, soft reset, conformance level, cursor style and the
// switch between the normal and the alternate screen.
#include <string>

#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

namespace {

using Params = std::span<const int64_t>;
using Bytes = std::span<const uint8_t>;

std::string text(Bytes bytes) {
    return std::string(bytes.begin(), bytes.end());
}

bool collectIs(Bytes collect, std::string_view expected) {
    return std::string_view(reinterpret_cast<const char*>(collect.data()), collect.size()) == expected;
}

// DECRPM status values.
enum Status : int { notRecognised = 0, set = 1, reset = 2, permanentlySet = 3, permanentlyReset = 4 };

int flag(bool value) {
    return value ? Status::set : Status::reset;
}

int ansiModeStatus(const Terminal& t, int64_t mode) {
    switch (mode) {
    case 1:
    case 5:
    case 7:
    case 10:
    case 11:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
        return permanentlyReset;
    case 2:
    case 3:
        return Status::reset;
    case 4:
        return flag(t.insertMode);
    case 12:
        return Status::set;
    case 20:
        return flag(t.lineFeedMode);
    default:
        return notRecognised;
    }
}

int decModeStatus(const Terminal& t, int64_t mode) {
    switch (mode) {
    case 1:
        return flag(t.applicationCursor);
    case 2:
    case 8:
    case 18:
    case 19:
    case 95:
        return Status::set;
    case 3:
        return flag(t.buffer().cols() == 132);
    case 4:
        return flag(t.smoothScroll);
    case 5:
        return flag(t.reverseVideo());
    case 6:
        return flag(t.originMode);
    case 7:
        return flag(t.wraparound);
    case 9:
        return flag(t.mouseMode == MouseMode::x10);
    case 10:
    case 42:
    case 44:
    case 46:
    case 67:
    case 80:
    case 1034:
        return permanentlyReset;
    case 12:
        return flag(t.cursorBlink);
    case 13:
    case 14:
    case 30:
    case 41:
    case 1001:
        return Status::reset;
    case 25:
        return flag(!t.cursorHidden);
    case 40:
        return flag(t.allow80To132);
    case 45:
        return flag(t.reverseWraparound);
    case 47:
        return flag(t.isCurrentBufferAlternate());
    case 66:
        return flag(t.applicationKeypad);
    case 69:
        return flag(t.marginMode);
    case 1000:
        return flag(t.mouseMode == MouseMode::vt200);
    case 1002:
        return flag(t.mouseMode == MouseMode::buttonEventTracking);
    case 1003:
        return flag(t.mouseMode == MouseMode::anyEvent);
    case 1004:
        return flag(t.sendFocus);
    case 1005:
        return flag(t.mouseProtocol == MouseProtocolEncoding::utf8);
    case 1006:
        return flag(t.mouseProtocol == MouseProtocolEncoding::sgr);
    case 1015:
        return flag(t.mouseProtocol == MouseProtocolEncoding::urxvt);
    case 1016:
        return flag(t.mouseProtocol == MouseProtocolEncoding::sgrPixel);
    case 2004:
        return flag(t.bracketedPasteMode);
    default:
        return notRecognised;
    }
}

} // namespace

// ----- SM / RM ------------------------------------------------------------------------

void Terminal::setMode(int64_t mode, Bytes collect) {
    if (collect.empty()) {
        switch (mode) {
        case 2:
            break;
        case 4:
            insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = true;
            break;
        case 20:
            lineFeedMode = true;
            break;
        default:
            log("Info: Unhandled setMode (SM) with " + std::to_string(mode) + " and " + text(collect));
        }
        return;
    }
    if (!collectIs(collect, "?")) {
        log("Info: Unhandled verbatim setMode with " + std::to_string(mode) + " and " + text(collect));
        return;
    }
    switch (mode) {
    case 1:
        applicationCursor = true;
        break;
    case 2: {
        // Leaving VT52 mode: every set goes back to ASCII.
        const bool glChanged = gDesignations_[gLevel & 3] != CharSets::defaultCharset;
        for (auto& designation : gDesignations_)
            designation = CharSets::defaultCharset;
        if (glChanged) charset = CharSets::defaultCharset;
        break;
    }
    case 3:
        cmdSetColumnMode(132);
        break;
    case 4:
        smoothScroll = true;
        break;
    case 5:
        setReverseVideo(true);
        break;
    case 6:
        originMode = true;
        break;
    case 7:
        wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = true;
        break;
    case 9:
        mouseMode = MouseMode::x10;
        tdel_->mouseModeChanged(*this);
        break;
    case 12:
        cursorBlink = true;
        break;
    case 25:
        showCursor();
        break;
    case 40:
        allow80To132 = true;
        break;
    case 41:
        log("Info: Unhandled DEC Private Mode Set (DECSET) with 41");
        break;
    case 45:
        if (wraparound) reverseWraparound = true;
        break;
    case 47:
    case 1047:
        activateAltBuffer();
        break;
    case 63:
    case 95:
    case 1034:
        break;
    case 66:
        applicationKeypad = true;
        log("Info: Serial port requested application keypad.");
        break;
    case 69:
        marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = true;
        break;
    case 1000:
        mouseMode = MouseMode::vt200;
        tdel_->mouseModeChanged(*this);
        break;
    case 1002:
        mouseMode = MouseMode::buttonEventTracking;
        tdel_->mouseModeChanged(*this);
        break;
    case 1003:
        mouseMode = MouseMode::anyEvent;
        tdel_->mouseModeChanged(*this);
        break;
    case 1004:
        sendFocus = true;
        break;
    case 1005:
        mouseProtocol = MouseProtocolEncoding::utf8;
        break;
    case 1006:
        mouseProtocol = MouseProtocolEncoding::sgr;
        break;
    case 1015:
        mouseProtocol = MouseProtocolEncoding::urxvt;
        break;
    case 1016:
        mouseProtocol = MouseProtocolEncoding::sgrPixel;
        break;
    case 1048:
        cmdSaveCursor();
        break;
    case 1049:
        cmdSaveCursor();
        activateAltBuffer();
        break;
    case 2004:
        bracketedPasteMode = true;
        break;
    default:
        log("Info: Unhandled DEC Private Mode Set (DECSET) with " + std::to_string(mode));
    }
}

void Terminal::resetMode(int64_t mode, Bytes collect) {
    if (collect.empty()) {
        if (mode == 4) insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = false;
        if (mode == 20) lineFeedMode = false;
        return;
    }
    if (!collectIs(collect, "?")) return;
    switch (mode) {
    case 1:
        applicationCursor = false;
        break;
    case 3:
        cmdSetColumnMode(80);
        break;
    case 4:
        smoothScroll = false;
        break;
    case 5:
        setReverseVideo(false);
        break;
    case 6:
        originMode = false;
        break;
    case 7:
        wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = false;
        break;
    case 9:
    case 1000:
    case 1002:
    case 1003:
        mouseMode = MouseMode::off;
        tdel_->mouseModeChanged(*this);
        break;
    case 12:
        cursorBlink = false;
        break;
    case 25:
        hideCursor();
        break;
    case 40:
        allow80To132 = false;
        break;
    case 41:
    case 95:
    case 1034:
        break;
    case 45:
        reverseWraparound = false;
        break;
    case 47:
        activateNormalBuffer(false);
        break;
    case 66:
        applicationKeypad = false;
        log("Info: Switching back to normal keypad.");
        break;
    case 69:
        marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = false;
        break;
    case 1004:
        sendFocus = false;
        break;
    case 1005:
    case 1006:
    case 1015:
    case 1016:
        // A program that drops its encoding is done with the mouse altogether.
        mouseProtocol = MouseProtocolEncoding::x10;
        mouseMode = MouseMode::off;
        tdel_->mouseModeChanged(*this);
        break;
    case 1047:
        activateNormalBuffer(true);
        break;
    case 1048:
        cmdRestoreCursor();
        break;
    case 1049:
        activateNormalBuffer(true);
        cmdRestoreCursor();
        break;
    case 2004:
        bracketedPasteMode = false;
        break;
    default:
        log("Info: Unhandled DEC Private Mode Reset (DECRST) with " + std::to_string(mode));
    }
}

// ----- 80/132 columns ---------------------------------------------------------------------

// As DEC's terminals do, a column switch clears the screen, resets the margins and homes
// the cursor; the pen, the character sets and the modes stay as the program set them.
void Terminal::cmdSetColumnMode(int columns) {
    if (!allow80To132) return;
    resize(columns, rows_);
    Buffer& b = *buffer_;
    const CharData erase(eraseAttr(), U'\0', 1);
    for (int row = 0; row < rows_; ++row) {
        BufferLine& line = b.lines()[b.yBase() + row];
        line.fill(erase);
        line.isWrapped = false;
        line.renderMode = BufferLine::RenderLineMode::single;
        line.images.reset();
    }
    b.setScrollTop(0);
    b.setScrollBottom(rows_ - 1);
    b.marginLeft = 0;
    b.marginRight = cols_ - 1;
    b.setX(0);
    b.setY(0);
    updateFullScreen();
    tdel_->sizeChanged(*this);
}

// ----- screen switch --------------------------------------------------------------------

void Terminal::activateAltBuffer(std::optional<Attribute> fillAttr) {
    if (buffer_ == altBuffer_.get()) return;
    Buffer& alt = *altBuffer_;
    alt.setX(normalBuffer_->x());
    alt.setY(normalBuffer_->y());
    // A never-used or cleared alternate screen starts from blank lines; otherwise the
    // program sees what it left there (mode 47 keeps the contents across switches).
    if (alt.lines().count() == 0) alt.fillViewportRows(fillAttr.value_or(CharData::defaultAttr));
    buffer_ = &alt;
    refresh(0, rows_ - 1);
    showCursor();
    tdel_->bufferActivated(*this);
}

void Terminal::activateNormalBuffer(bool clearAlt) {
    if (buffer_ == normalBuffer_.get()) return;
    Buffer& alt = *altBuffer_;
    normalBuffer_->setX(alt.x());
    normalBuffer_->setY(alt.y());
    if (clearAlt) {
        // Refilled at once: the screen operations and resize rely on a full screen of
        // lines, so the next visit starts from blank lines without ever seeing none.
        alt.clear();
        alt.fillViewportRows();
    }
    buffer_ = normalBuffer_.get();
    refresh(0, rows_ - 1);
    showCursor();
    tdel_->bufferActivated(*this);
}

// ----- CSI p: DECRQM, DECSTR, DECSCL ------------------------------------------------------

void Terminal::csiPHandler(Params parameters, Bytes collect) {
    if (collectIs(collect, "!"))
        cmdSoftReset();
    else if (collectIs(collect, "\""))
        cmdSetConformanceLevel(parameters);
    else if (collectIs(collect, "?$"))
        cmdDecRqm(parameters, true);
    else if (collectIs(collect, "$"))
        cmdDecRqm(parameters, false);
    else if (!silentLog_) {
        std::string pars;
        for (int64_t p : parameters)
            pars += (pars.empty() ? "" : ", ") + std::to_string(p);
        log("Info: Unhandled CSI " + text(collect) + " with pars=[" + pars + "]");
    }
}

void Terminal::cmdDecRqm(Params parameters, bool decMode) {
    const int64_t mode = parameters.empty() ? 0 : parameters[0];
    const int status = decMode ? decModeStatus(*this, mode) : ansiModeStatus(*this, mode);
    std::string reply(cc.csi());
    if (decMode) reply += '?';
    reply += std::to_string(mode) + ";" + std::to_string(status) + "$y";
    sendResponse(reply);
}

void Terminal::cmdSoftReset() {
    cursorHidden = false;
    originMode = false;
    insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = false;
    wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = true;
    marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = false;
    reverseWraparound = false;
    characterProtection = false;
    applicationKeypad = false;
    applicationCursor = false;
    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    buffer_->softReset();
    curAttr = CharData::defaultAttr;
    charset = nullptr;
    setgLevel(0);
    conformance = Conformance::vt500;
    hyperLinkTracking.reset();
    currentLink = TinyAtom();
    lineFeedMode = options_.convertEol;
    ansiColors = defaultAnsiColors;
    tdel_->colorChanged(*this, std::nullopt);
    tdel_->showCursor(*this);
}

void Terminal::cmdSetConformanceLevel(Params parameters) {
    const int64_t level = parameters.empty() ? 0 : parameters[0];
    switch (level) {
    case 61:
        conformance = Conformance::vt100;
        cc.send8bit = false;
        return;
    case 62:
        conformance = Conformance::vt200;
        break;
    case 63:
        conformance = Conformance::vt300;
        break;
    case 64:
        conformance = Conformance::vt400;
        break;
    default:
        conformance = Conformance::vt500;
    }
    if (parameters.size() > 1) cc.send8bit = parameters[1] == 0 || parameters[1] == 2;
}

// DECSCA: 1 protects what is printed from now on; 0 and 2 stop protecting.
void Terminal::cmdSelectCharacterProtection(Params parameters) {
    const int64_t ps = parameters.empty() ? 0 : parameters[0];
    if (ps == 1)
        characterProtection = true;
    else if (ps == 0 || ps == 2)
        characterProtection = false;
}

void Terminal::cmdSetCursorStyle(Params parameters, Bytes collect) {
    if (!collectIs(collect, " ")) return;
    static constexpr CursorStyle styles[] = {CursorStyle::blinkBlock,      CursorStyle::blinkBlock,
                                             CursorStyle::steadyBlock,     CursorStyle::blinkUnderline,
                                             CursorStyle::steadyUnderline, CursorStyle::blinkBar,
                                             CursorStyle::steadyBar};
    const int64_t ps = parameters.empty() ? 0 : parameters[0];
    if (ps < 0 || ps > 6) return;
    const CursorStyle style = styles[ps];
    if (style == options_.cursorStyle) return;
    options_.cursorStyle = style;
    tdel_->cursorStyleChanged(*this, style);
}

// ----- registration ----------------------------------------------------------------------

void installModeHandlers(Terminal& terminal) {
    EscapeSequenceParser& parser = terminal.parser();
    for (const char* shape : {"h", "?h"})
        parser.setCsiHandler(shape, [&terminal](Params parameters, Bytes collect) {
            for (int64_t mode : parameters)
                terminal.setMode(mode, collect);
        });
    for (const char* shape : {"l", "?l"})
        parser.setCsiHandler(shape, [&terminal](Params parameters, Bytes collect) {
            for (int64_t mode : parameters)
                terminal.resetMode(mode, collect);
        });
    for (const char* shape : {"!p", "\"p", "?$p", "$p"})
        parser.setCsiHandler(shape, [&terminal](Params parameters, Bytes collect) {
            terminal.csiPHandler(parameters, collect);
        });
    parser.setCsiHandler(" q", [&terminal](Params parameters, Bytes collect) {
        terminal.cmdSetCursorStyle(parameters, collect);
    });
    parser.setCsiHandler("\"q", [&terminal](Params parameters, Bytes) {
        terminal.cmdSelectCharacterProtection(parameters);
    });
}

} // namespace tarvik
