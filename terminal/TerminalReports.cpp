// Device reports, window operations, titles and the host-control OSCs.
#include "terminal/TerminalReports.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utf8proc.h>

#include "terminal/Base64.h"
#include "terminal/DiagnosticText.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalEditing.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

namespace {

using Params = std::span<const int64_t>;
using Bytes = std::span<const uint8_t>;
using Kind = WindowManipulationCommand::Kind;

std::string_view view(Bytes bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}


bool isValidUtf8(Bytes bytes) {
    const auto* p = bytes.data();
    auto left = static_cast<utf8proc_ssize_t>(bytes.size());
    while (left > 0) {
        utf8proc_int32_t scalar = 0;
        const utf8proc_ssize_t n = utf8proc_iterate(p, left, &scalar);
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

std::optional<std::string> utf8Text(Bytes bytes) {
    if (!isValidUtf8(bytes)) return std::nullopt;
    return std::string(view(bytes));
}

// A parameter the program wrote out, as opposed to one the parser filled in.
bool firstParameterGiven(Terminal& t) {
    const Bytes text = t.parser().parsTxt();
    return !text.empty() && text.front() != ';' && text.front() != ':';
}

// ----- device attributes and status -------------------------------------------------------

void cmdSendDeviceAttributes(Terminal& t, Params pars, Bytes collect) {
    if (pars[0] >= 1) {
        if (!t.silentLog()) t.log("SendDeviceAttributes got " + listText(pars) + std::string(view(collect)));
        return;
    }
    const std::string_view csi = t.cc.csi();
    if (view(collect) == ">" || view(collect) == ">0") {
        if (pars[0] == 0)
            t.sendResponse(std::string(csi) + ">65;20;1c");
        else
            t.log("Info: Got a CSI > c with an unknown set of argument");
        return;
    }
    if (!collect.empty()) return;
    const std::string& name = t.options().termName;
    std::string reply;
    if (name.starts_with("xterm"))
        reply = std::string("?65;1;2;6;21;22;17;28") + (t.options().enableSixelReported ? ";4" : "") + "c";
    else if (name.starts_with("screen") || name.starts_with("rxvt-unicode"))
        reply = "?1;2c";
    else if (name.starts_with("linux"))
        reply = "?6c";
    if (!reply.empty()) t.sendResponse(std::string(csi) + reply);
}

// DA3: the unit id, all zeros (the terminal has no site or serial number to tell).
void cmdSendTertiaryAttributes(Terminal& t, Params pars) {
    if (pars[0] != 0) return;
    t.sendResponse(std::string(t.cc.dcs()) + "!|00000000" + std::string(t.cc.st()));
}

// DECREQTPARM: the line parameters of a serial terminal: no parity, 8 bits, 38400 baud
// both ways, clock multiplier 1, no flags. Asked with 0, the terminal may also report
// unsolicited (2); with 1 only on request (3).
void cmdRequestTerminalParameters(Terminal& t, Params pars) {
    if (pars[0] != 0 && pars[0] != 1) return;
    t.sendResponse(std::string(t.cc.csi()) + (pars[0] == 0 ? "2" : "3") + ";1;1;128;128;1;0x");
}

// Row and column as the program addresses them: relative to the region in origin mode.
// A cursor waiting to wrap stands on the last column, not one beyond the screen.
std::string cursorReport(const Terminal& t) {
    const Buffer& b = t.buffer();
    int64_t row = int64_t(b.y()) + 1;
    int64_t col = int64_t(std::min(b.x(), t.cols() - 1)) + 1;
    if (t.originMode) row -= b.scrollTop();
    if (t.originMode && t.marginMode) col -= b.marginLeft;
    return std::to_string(std::max<int64_t>(row, 1)) + ";" + std::to_string(std::max<int64_t>(col, 1));
}

void cmdDeviceStatus(Terminal& t, Params pars, Bytes collect) {
    const std::string csi(t.cc.csi());
    if (collect.empty()) {
        if (pars[0] == 5) t.sendResponse(csi + "0n");
        if (pars[0] == 6) t.sendResponse(csi + cursorReport(t) + "R");
        return;
    }
    if (view(collect) != "?") return;
    switch (pars[0]) {
    case 6:
        t.sendResponse(csi + "?" + cursorReport(t) + ";1R");
        break;
    case 15:
        t.sendResponse(csi + "?10n");
        break;
    case 25:
        t.sendResponse(csi + "?21n");
        break;
    case 26:
        t.sendResponse(csi + "?27;1;0;0n");
        break;
    case 55:
        t.sendResponse(csi + "?53n");
        break;
    case 56:
        t.sendResponse(csi + "?57;1n");
        break;
    case 62:
        t.sendResponse(csi + "0*{");
        break;
    case 63: {
        const int64_t pid = pars.size() > 1 ? pars[1] : 1;
        t.sendResponse(std::string(t.cc.dcs()) + std::to_string(pid) + "!~0000" + std::string(t.cc.st()));
        break;
    }
    case 75:
        t.sendResponse(csi + "?70n");
        break;
    case 85:
        t.sendResponse(csi + "?83n");
        break;
    default:
        break;
    }
}

// ----- DECRQSS -------------------------------------------------------------------------------

std::string cursorStyleReport(CursorStyle style) {
    // The DECSCUSR number that selects the style, so the answer can be sent back as is.
    return std::to_string(static_cast<int>(style) + 1) + " q";
}

std::string conformanceReport(const Terminal& t) {
    return std::to_string(61 + static_cast<int>(t.conformance)) + (t.cc.send8bit ? ";0" : ";1") + "\"p";
}

class DecrqssHandler final : public DcsHandler {
  public:
    explicit DecrqssHandler(Terminal& terminal) : terminal_(terminal) {}

    void hook(Bytes, Params, uint8_t) override { request_.clear(); }
    void put(Bytes data) override {
        // Every known request is two bytes at most; a longer one is unknown whatever follows.
        const std::size_t room = maxRequest - std::min(maxRequest, request_.size());
        request_.append(view(data.first(std::min(room, data.size()))));
        if (data.size() > room) tooLong_ = true;
    }
    void unhook() override {
        answer();
        request_.clear();
        tooLong_ = false;
    }
    void abandon() override {
        request_.clear();
        tooLong_ = false;
    }

  private:
    static constexpr std::size_t maxRequest = 64;

    std::optional<std::string> settingText() const {
        const Terminal& t = terminal_;
        const Buffer& b = t.buffer();
        if (tooLong_) return std::nullopt;
        if (request_ == "\"q") return t.characterProtection() ? "1\"q" : request_;
        if (request_ == "\"p") return conformanceReport(t);
        if (request_ == "r")
            return std::to_string(b.scrollTop() + 1) + ";" + std::to_string(b.scrollBottom() + 1) + "r";
        if (request_ == "m") return t.curAttr.toSgr();
        if (request_ == "s")
            return std::to_string(b.marginLeft + 1) + ";" + std::to_string(b.marginRight + 1) + "s";
        if (request_ == " q") return cursorStyleReport(t.options().cursorStyle);
        return std::nullopt;
    }

    void answer() {
        Terminal& t = terminal_;
        const std::optional<std::string> text = settingText();
        if (!text) t.log("Unknown DCS + " + request_);
        t.sendResponse(std::string(t.cc.dcs()) + (text ? "1" : "0") + "$r" + text.value_or("") +
                       std::string(t.cc.st()));
    }

    Terminal& terminal_;
    std::string request_;
    bool tooLong_ = false;
};

// ----- DECRQCRA ------------------------------------------------------------------------------

uint32_t cellSum(const Terminal& t, const CellRectangle& r) {
    const Buffer& b = t.buffer();
    uint32_t sum = 0;
    for (int row = r.top; row <= r.bottom; ++row) {
        const BufferLine& line = b.lines()[b.yBase() + row];
        for (int col = r.left; col <= r.right && col < line.count(); ++col) {
            const CharData& cell = line[col];
            if (cell.code() == 0) {
                sum += 0x20;
                continue;
            }
            const std::string character = cell.getCharacter(t.tables());
            const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(character.data());
            auto left = static_cast<utf8proc_ssize_t>(character.size());
            while (left > 0) {
                utf8proc_int32_t scalar = 0;
                const utf8proc_ssize_t n = utf8proc_iterate(p, left, &scalar);
                if (n <= 0) break;
                sum += static_cast<uint32_t>(scalar);
                p += n;
                left -= n;
            }
        }
    }
    return sum;
}

void cmdDECRQCRA(Terminal& t, Params pars, Bytes collect) {
    if (view(collect) != "*") return;
    const int64_t pid = firstParameterGiven(t) ? pars[0] : 1;
    uint32_t sum = 0;
    if (pars.size() >= 3 && t.delegate().isProcessTrusted(t)) {
        if (const auto rectangle = getRectangleFromRequest(t, pars, 2)) sum = cellSum(t, *rectangle);
    }
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%04x", static_cast<unsigned>(sum));
    t.sendResponse(std::string(t.cc.dcs()) + std::to_string(pid) + "!~" + checksum + std::string(t.cc.st()));
}

// ----- window operations and the title stack ---------------------------------------------------

std::optional<WindowManipulationCommand> windowRequest(Params p) {
    const auto is = [p](std::initializer_list<int64_t> expected) {
        return std::equal(p.begin(), p.end(), expected.begin(), expected.end());
    };
    if (is({1})) return WindowManipulationCommand{Kind::deiconifyWindow};
    if (is({2})) return WindowManipulationCommand{Kind::iconifyWindow};
    if (p.size() == 3 && p[0] == 3) return WindowManipulationCommand{Kind::moveWindowTo, p[1], p[2]};
    if (p.size() == 3 && p[0] == 4) return WindowManipulationCommand{Kind::resizeWindowTo, p[2], p[1]};
    if (is({5})) return WindowManipulationCommand{Kind::bringToFront};
    if (is({6})) return WindowManipulationCommand{Kind::sendToBack};
    if (is({7})) return WindowManipulationCommand{Kind::refreshWindow};
    if (p.size() == 3 && p[0] == 8) return WindowManipulationCommand{Kind::resizeTo, p[2], p[1]};
    if (is({9, 0})) return WindowManipulationCommand{Kind::restoreMaximizedWindow};
    if (is({9, 1})) return WindowManipulationCommand{Kind::maximizeWindow};
    if (is({9, 2})) return WindowManipulationCommand{Kind::maximizeWindowVertically};
    if (is({9, 3})) return WindowManipulationCommand{Kind::maximizeWindowHorizontally};
    if (is({10, 0})) return WindowManipulationCommand{Kind::undoFullScreen};
    if (is({10, 1})) return WindowManipulationCommand{Kind::switchToFullScreen};
    if (is({10, 2})) return WindowManipulationCommand{Kind::toggleFullScreen};
    return std::nullopt;
}

// A report the host may answer itself; otherwise the terminal's own default reply.
bool sizeReport(Terminal& t, Params p) {
    if (p.size() != 1) return false;
    const std::string csi(t.cc.csi());
    const std::string rows = std::to_string(t.rows());
    const std::string cols = std::to_string(t.cols());
    Kind kind;
    std::string fallback;
    switch (p[0]) {
    case 15:
        kind = Kind::reportSizeOfScreenInPixels, fallback = "5;768;1024t";
        break;
    case 16:
        kind = Kind::reportCellSizeInPixels, fallback = "6;16;10t";
        break;
    case 18:
        kind = Kind::reportTextAreaCharacters, fallback = "8;" + rows + ";" + cols + "t";
        break;
    case 19:
        kind = Kind::reportScreenSizeCharacters, fallback = "9;" + rows + ";" + cols + "t";
        break;
    case 20:
        t.sendResponse(std::string(t.cc.osc()) + "L" + t.iconTitle() + std::string(t.cc.st()));
        return true;
    case 21:
        t.sendResponse(std::string(t.cc.osc()) + "l" + t.terminalTitle() + std::string(t.cc.st()));
        return true;
    default:
        return false;
    }
    if (const auto answer = t.delegate().windowCommand(t, WindowManipulationCommand{kind}))
        t.sendResponse(view(*answer));
    else
        t.sendResponse(csi + fallback);
    return true;
}

void push(std::vector<std::string>& stack, const std::string& text) {
    if (stack.size() >= titleStackLimit) stack.erase(stack.begin());
    stack.push_back(text);
}

std::optional<std::string> pop(std::vector<std::string>& stack) {
    if (stack.empty()) return std::nullopt;
    std::string top = std::move(stack.back());
    stack.pop_back();
    return top;
}

void popTitle(Terminal& t) {
    if (auto title = pop(t.terminalTitleStack)) t.setTitle(*title);
}

void popIcon(Terminal& t) {
    if (auto icon = pop(t.terminalIconStack)) t.setIconTitle(*icon);
}

bool titleStack(Terminal& t, Params p) {
    if (p.size() < 2 || p.size() > 3 || (p[0] != 22 && p[0] != 23)) return false;
    if (p.size() == 3 && (p[1] != 0 || p[2] != 0)) return false;
    const bool save = p[0] == 22;
    switch (p[1]) {
    case 0:
        if (save) {
            push(t.terminalTitleStack, t.terminalTitle());
            push(t.terminalIconStack, t.iconTitle());
        } else {
            popTitle(t);
            popIcon(t);
        }
        return true;
    case 1:
        if (save)
            push(t.terminalIconStack, t.iconTitle());
        else
            popIcon(t);
        return true;
    case 2:
        if (save)
            push(t.terminalTitleStack, t.terminalTitle());
        else
            popTitle(t);
        return true;
    default:
        return false;
    }
}

void cmdWindowOptions(Terminal& t, Params p, Bytes collect) {
    // With intermediates or a private marker the final t names other functions
    // (title modes, bell volume, rectangle attributes); none of them moves the window.
    if (!collect.empty()) return;
    if (const auto request = windowRequest(p)) {
        t.delegate().windowCommand(t, *request);
        return;
    }
    if (sizeReport(t, p) || titleStack(t, p)) return;
    if (!t.silentLog()) t.log("Info: Unhandled Window command: " + listText(p));
}

// ----- OSC -------------------------------------------------------------------------------------

void oscTitle(Terminal& t, Bytes payload, bool window, bool icon) {
    const auto text = utf8Text(payload);
    if (!text) return;
    if (window) t.setTitle(*text);
    if (icon) t.setIconTitle(*text);
}

void oscHostLocation(Terminal& t, Bytes payload, bool directory) {
    if (!t.delegate().isProcessTrusted(t)) return;
    const auto text = utf8Text(payload);
    if (!text) return;
    if (directory) {
        t.hostCurrentDirectory = *text;
        t.delegate().hostCurrentDirectoryUpdated(t);
    } else {
        t.hostCurrentDocument = *text;
        t.delegate().hostCurrentDocumentUpdated(t);
    }
}

void oscHyperlink(Terminal& t, Bytes payload) {
    const std::string_view text = view(payload);
    const std::size_t separator = text.find(';');
    // An empty URI ends the link, whatever parameters come with it.
    if (separator != std::string_view::npos && separator + 1 == text.size()) {
        t.hyperLinkTracking.reset();
        t.currentLink = TinyAtom();
        return;
    }
    const auto [x, y] = t.getCursorLocation();
    t.hyperLinkTracking.emplace(Position{x, y + t.buffer().yBase()}, std::string(text));
    // A full atom table leaves the text unlinked rather than linked to the wrong target.
    t.currentLink = t.tables().internLink(text).value_or(TinyAtom());
}

void oscClipboard(Terminal& t, Bytes payload) {
    const std::string_view text = view(payload);
    if (!text.starts_with("c;")) return;
    if (const auto content = base64Decode(text.substr(2))) t.delegate().clipboardCopy(t, *content);
}

void oscNotify(Terminal& t, Bytes payload) {
    const auto text = utf8Text(payload);
    if (!text) return;
    std::vector<std::string_view> parts;
    std::string_view rest = *text;
    for (std::size_t at; (at = rest.find(';')) != std::string_view::npos; rest.remove_prefix(at + 1))
        parts.push_back(rest.substr(0, at));
    parts.push_back(rest);
    if (parts.size() < 3 || parts[0] != "notify") return;
    const std::size_t bodyStart = parts[2].data() - text->data();
    t.delegate().notify(t, std::string(parts[1]), text->substr(bodyStart));
}

void osciTerm2(Terminal& t, Bytes payload) {
    const auto text = utf8Text(payload);
    if (!text) return;
    const std::string_view all = *text;
    const std::size_t equals = all.find('=');
    const std::size_t colon = equals == std::string_view::npos ? equals : all.find(':', equals + 1);
    if (colon == std::string_view::npos || all.substr(0, equals) != "File") {
        t.delegate().iTermContent(t, payload);
        return;
    }
    const auto pairs = parseKeyValues(all.substr(equals + 1, colon - equals - 1));
    const auto inlineFlag = pairs.find("inline");
    if (pairs.empty() || inlineFlag == pairs.end() || inlineFlag->second != "1") {
        t.delegate().iTermContent(t, payload);
        return;
    }
    const auto data = base64Decode(all.substr(colon + 1));
    if (!data) return;
    const auto dimension = [&pairs](const char* key) -> std::optional<std::string_view> {
        const auto it = pairs.find(key);
        if (it == pairs.end()) return std::nullopt;
        return it->second;
    };
    const auto aspect = pairs.find("preserveAspectRatio");
    const bool preserveAspectRatio = aspect == pairs.end() || aspect->second == "1";
    t.delegate().createImage(t, *data, parseDimension(dimension("width")),
                             parseDimension(dimension("height")), preserveAspectRatio);
}

} // namespace

// ----- public helpers ---------------------------------------------------------------------------

std::vector<std::string> getEnvironmentVariables(std::optional<std::string_view> termName, bool trueColor) {
    std::vector<std::string> env;
    env.push_back("TERM=" + std::string(termName.value_or("xterm-256color")));
    if (trueColor) env.emplace_back("COLORTERM=truecolor");
    env.emplace_back("LANG=en_US.UTF-8");
    for (const char* name : {"LOGNAME", "USER", "DISPLAY", "LC_TYPE", "HOME"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

std::map<std::string, std::string> parseKeyValues(std::string_view text) {
    std::map<std::string, std::string> pairs;
    while (true) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view item = text.substr(0, end);
        const std::size_t equals = item.find('=');
        if (item.empty() || equals == std::string_view::npos) break;
        pairs[std::string(item.substr(0, equals))] = std::string(item.substr(equals + 1));
        if (end == text.size()) break;
        text.remove_prefix(end + 1);
    }
    return pairs;
}

ImageSizeRequest parseDimension(std::optional<std::string_view> text) {
    using SizeKind = ImageSizeRequest::Kind;
    if (!text || *text == "auto") return {};
    std::string_view number = *text;
    SizeKind kind = SizeKind::cells;
    if (number.ends_with("px")) {
        kind = SizeKind::pixels;
        number.remove_suffix(2);
    } else if (number.ends_with("%")) {
        kind = SizeKind::percent;
        number.remove_suffix(1);
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || number.front() == '-' || end != number.data() + number.size()) return {};
    // Absurd sizes are the image layer's to refuse; here they only must not wrap around.
    if (error == std::errc::result_out_of_range)
        value = INT64_MAX;
    else if (error != std::errc())
        return {};
    return {kind, value};
}

// ----- registration -------------------------------------------------------------------------------

void installReportHandlers(Terminal& terminal) {
    EscapeSequenceParser& parser = terminal.parser();
    Terminal* t = &terminal;
    for (const char* shape : {"c", ">c"})
        parser.setCsiHandler(shape, [t](Params p, Bytes collect) { cmdSendDeviceAttributes(*t, p, collect); });
    parser.setCsiHandler("=c", [t](Params p, Bytes) { cmdSendTertiaryAttributes(*t, p); });
    for (const char* shape : {"n", "?n"})
        parser.setCsiHandler(shape, [t](Params p, Bytes collect) { cmdDeviceStatus(*t, p, collect); });
    parser.setCsiHandler("t", [t](Params p, Bytes collect) { cmdWindowOptions(*t, p, collect); });
    parser.setCsiHandler("*y", [t](Params p, Bytes collect) { cmdDECRQCRA(*t, p, collect); });
    parser.setCsiHandler("x", [t](Params p, Bytes) { cmdRequestTerminalParameters(*t, p); });
    parser.dcsHandlers["$q"] = std::make_unique<DecrqssHandler>(terminal);

    auto& osc = parser.oscHandlers;
    osc[0] = [t](Bytes payload) { oscTitle(*t, payload, true, true); };
    osc[1] = [t](Bytes payload) { oscTitle(*t, payload, false, true); };
    osc[2] = [t](Bytes payload) { oscTitle(*t, payload, true, false); };
    osc[6] = [t](Bytes payload) { oscHostLocation(*t, payload, false); };
    osc[7] = [t](Bytes payload) { oscHostLocation(*t, payload, true); };
    osc[8] = [t](Bytes payload) { oscHyperlink(*t, payload); };
    osc[52] = [t](Bytes payload) { oscClipboard(*t, payload); };
    osc[777] = [t](Bytes payload) { oscNotify(*t, payload); };
    osc[1337] = [t](Bytes payload) { osciTerm2(*t, payload); };
}

} // namespace tarvik
