// ANSI and DEC private modes, soft reset, conformance level, cursor style and the
// switch between the normal and the alternate screen.
#include <string>

#include "terminal/ModeTable.h"
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

} // namespace

// ----- SM / RM ------------------------------------------------------------------------

void Terminal::setMode(int64_t mode, Bytes collect) {
    if (!collect.empty() && !collectIs(collect, "?")) {
        log("Info: Unhandled verbatim setMode with " + std::to_string(mode) + " and " + text(collect));
        return;
    }
    const ModeKind kind = collect.empty() ? ModeKind::ansi : ModeKind::dec;
    const ModeDeclaration* declared = findMode(kind, mode);
    if (declared && declared->flag) this->*declared->flag = true;
    if (declared && declared->onSet) declared->onSet(*this);
    if (declared && (declared->flag || declared->onSet || declared->quietSet)) return;
    if (kind == ModeKind::ansi)
        log("Info: Unhandled setMode (SM) with " + std::to_string(mode) + " and " + text(collect));
    else
        log("Info: Unhandled DEC Private Mode Set (DECSET) with " + std::to_string(mode));
}

void Terminal::resetMode(int64_t mode, Bytes collect) {
    if (!collect.empty() && !collectIs(collect, "?")) return;
    const ModeKind kind = collect.empty() ? ModeKind::ansi : ModeKind::dec;
    const ModeDeclaration* declared = findMode(kind, mode);
    if (declared && declared->flag) this->*declared->flag = false;
    if (declared && declared->onReset) declared->onReset(*this);
    if (declared && (declared->flag || declared->onReset || declared->quietReset)) return;
    // ANSI modes the terminal does not keep are reset silently.
    if (kind == ModeKind::dec) log("Info: Unhandled DEC Private Mode Reset (DECRST) with " + std::to_string(mode));
}

void Terminal::applyModeResets(bool soft) {
    for (const ModeDeclaration& mode : modeTable()) {
        const ModeAfter after = soft ? mode.afterSoftReset : mode.afterReset;
        if (mode.flag && after != ModeAfter::kept) this->*mode.flag = after == ModeAfter::on;
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
    const ModeDeclaration* declared = findMode(decMode ? ModeKind::dec : ModeKind::ansi, mode);
    const int status = declared ? declared->status(*this) : ModeStatus::notRecognised;
    std::string reply(cc.csi());
    if (decMode) reply += '?';
    reply += std::to_string(mode) + ";" + std::to_string(status) + "$y";
    sendResponse(reply);
}

void Terminal::cmdSoftReset() {
    applyModeResets(true);
    cursorHidden = false;
    setCharacterProtection(false);
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
        setCharacterProtection(true);
    else if (ps == 0 || ps == 2)
        setCharacterProtection(false);
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
