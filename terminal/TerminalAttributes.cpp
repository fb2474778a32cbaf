// Graphic rendition of new cells, the palette and the dynamic colours.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/DiagnosticText.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

namespace {

using Params = EscapeSequenceParser::Params;
using Bytes = EscapeSequenceParser::Bytes;
using CellColor = Attribute::Color;

// The separator that followed each parameter as received. A ':' joins sub-parameters to
// the parameter before them: they belong to it and are never read as codes of their own.
//
// Nearly every SGR uses ';' only; then nothing is recorded and no table is built, since
// this runs once per colour change in coloured output.
class Separators {
  public:
    Separators(Bytes text, bool colons) : colons_(colons) {
        if (!colons_) return;
        after_.fill(0);
        std::size_t k = 0;
        for (uint8_t c : text)
            if ((c == ':' || c == ';') && k < after_.size()) after_[k++] = c;
    }
    bool joined(std::size_t parameter) const {
        return colons_ && parameter < after_.size() && after_[parameter] == ':';
    }
    // The last parameter of the group that starts at `first`.
    std::size_t groupEnd(std::size_t first, std::size_t size) const {
        std::size_t end = first;
        while (end + 1 < size && joined(end))
            ++end;
        return end;
    }

  private:
    bool colons_;
    // Left uninitialised without colons: never read then.
    std::array<uint8_t, EscapeSequenceParser::maxParameters + 1> after_;
};

uint8_t component(int64_t value) {
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

// The colour readers below write the colour they find into `color` and return the last
// parameter they consumed; without a colour they leave `color` alone. Written in place
// rather than returned in an optional: this runs for every cell of a colourful screen,
// and a small aggregate passed back through memory is reloaded whole before its parts
// are stored, a stall on every call.

// Sub-parameter form 38:5:n or 38:2:cs:r:g:b, also without the colour-space slot
// (38:2:r:g:b), which many programs send.
std::size_t parseColonColor(Params p, std::size_t i, std::size_t end, CellColor& color) {
    const Params sub = p.subspan(i + 1, end - i);
    if (sub.size() >= 2 && sub[0] == 5) color = CellColor::ansi256(component(sub[1]));
    if (sub.size() >= 5 && sub[0] == 2)
        color = CellColor::trueColor(component(sub[2]), component(sub[3]), component(sub[4]));
    else if (sub.size() == 4 && sub[0] == 2)
        color = CellColor::trueColor(component(sub[1]), component(sub[2]), component(sub[3]));
    return end;
}

// The colour after 38, 48 or 58 at index i.
std::size_t parseExtendedColor(Params p, const Separators& separators, std::size_t i, CellColor& color) {
    if (separators.joined(i)) return parseColonColor(p, i, separators.groupEnd(i, p.size()), color);
    if (i + 1 >= p.size()) return i;
    switch (p[i + 1]) {
    case 5:
        if (i + 2 >= p.size()) return i + 1;
        color = CellColor::ansi256(component(p[i + 2]));
        return i + 2;
    case 2:
        if (i + 4 >= p.size()) return p.size() - 1;
        color = CellColor::trueColor(component(p[i + 2]), component(p[i + 3]), component(p[i + 4]));
        return i + 4;
    default:
        return i;
    }
}

// Applies one code that is neither a colour selector nor extended; false when unknown.
bool applySimple(Attribute& a, int64_t code) {
    switch (code) {
    case 0:
        a = CharData::defaultAttr;
        return true;
    case 1:
        a.style.insert(CharacterStyle::bold);
        return true;
    case 2:
        a.style.insert(CharacterStyle::dim);
        return true;
    case 3:
        a.style.insert(CharacterStyle::italic);
        return true;
    case 4:
        a.style.insert(CharacterStyle::underline);
        return true;
    case 5:
        a.style.insert(CharacterStyle::blink);
        return true;
    case 7:
        a.style.insert(CharacterStyle::inverse);
        return true;
    case 8:
        a.style.insert(CharacterStyle::invisible);
        return true;
    case 9:
        a.style.insert(CharacterStyle::crossedOut);
        return true;
    case 21:
        return true;
    case 22:
        a.style.remove(CharacterStyle::bold | CharacterStyle::dim);
        return true;
    case 23:
        a.style.remove(CharacterStyle::italic);
        return true;
    case 24:
        a.style.remove(CharacterStyle::underline);
        return true;
    case 25:
        a.style.remove(CharacterStyle::blink);
        return true;
    case 27:
        a.style.remove(CharacterStyle::inverse);
        return true;
    case 28:
        a.style.remove(CharacterStyle::invisible);
        return true;
    case 29:
        a.style.remove(CharacterStyle::crossedOut);
        return true;
    case 39:
        a.fg = CellColor::defaultColor();
        return true;
    case 49:
        a.bg = CellColor::defaultColor();
        return true;
    default:
        break;
    }
    if (code >= 30 && code <= 37)
        a.fg = CellColor::ansi256(static_cast<uint8_t>(code - 30));
    else if (code >= 40 && code <= 47)
        a.bg = CellColor::ansi256(static_cast<uint8_t>(code - 40));
    else if (code >= 90 && code <= 97)
        a.fg = CellColor::ansi256(static_cast<uint8_t>(code - 90 + 8));
    else if (code >= 100 && code <= 107)
        a.bg = CellColor::ansi256(static_cast<uint8_t>(code - 100 + 8));
    else
        return false;
    return true;
}

void cmdCharAttributes(Terminal& t, Params p, Bytes collect) {
    // With a private marker (CSI > 4 ; 2 m) the same final sets key modifiers; the pen
    // must not pick those numbers up as underline and dim.
    if (!collect.empty()) return;
    if (p.size() == 1 && p[0] == 0) {
        t.curAttr = CharData::defaultAttr;
        return;
    }
    // Edited in place: nothing reads the pen before the list is done.
    Attribute& a = t.curAttr;
    const Separators separators(t.parser().parsTxt(), t.parser().hasSubParameters());
    for (std::size_t i = 0; i < p.size(); ++i) {
        const int64_t code = p[i];
        if (code == 38 || code == 48 || code == 58) {
            // The underline colour is accepted but not kept.
            CellColor underline;
            i = parseExtendedColor(p, separators, i, code == 38 ? a.fg : code == 48 ? a.bg : underline);
            continue;
        }
        const std::size_t end = separators.groupEnd(i, p.size());
        // 4:0 is "no underline"; the other underline styles draw as one.
        if (code == 4 && end > i && p[i + 1] == 0)
            a.style.remove(CharacterStyle::underline);
        else if (!applySimple(a, code) && !t.silentLog())
            t.log("Unknown SGR attribute: " + std::to_string(code) + " " + listText(p));
        i = end;
    }
}

// ----- colour commands ------------------------------------------------------------------------

std::string_view asText(Bytes bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Walks the ';'-separated fields of a payload without copying it.
class Fields {
  public:
    explicit Fields(std::string_view text) : rest_(text), done_(false) {}
    std::optional<std::string_view> next() {
        if (done_) return std::nullopt;
        const std::size_t semicolon = rest_.find(';');
        const std::string_view field = rest_.substr(0, semicolon);
        if (semicolon == std::string_view::npos)
            done_ = true;
        else
            rest_.remove_prefix(semicolon + 1);
        return field;
    }

  private:
    std::string_view rest_;
    bool done_;
};

// Leading decimal digits; 256 stands for every value out of the palette's range.
int paletteIndex(std::string_view text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min(value * 10 + (c - '0'), 256);
    }
    return value;
}

bool isDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void reply(Terminal& t, const std::string& body) {
    std::string out(t.cc.osc());
    out += body;
    out += t.cc.st();
    t.sendResponse(out);
}

void oscChangeOrQueryColorIndex(Terminal& t, Bytes payload) {
    Fields fields(asText(payload));
    while (true) {
        const auto index = fields.next();
        const auto value = fields.next();
        if (!index || !value) return;
        const int entry = paletteIndex(*index);
        if (entry >= 256 || entry >= static_cast<int>(t.ansiColors.size())) return;
        if (*value == "?") {
            reply(t, "4;" + std::to_string(entry) + ";" + t.ansiColors[entry].formatAsXcolor());
        } else if (const auto color = Color::parseColor(*value)) {
            t.ansiColors[entry] = *color;
            t.delegate().colorChanged(t, entry);
            t.updateFullScreen();
        }
    }
}

void reportColor(Terminal& t, int slot) {
    const auto [foreground, background] = t.delegate().getColors(t);
    const Color color = slot == 0 ? foreground : slot == 1 ? background : t.cursorColor.value_or(foreground);
    reply(t, std::to_string(10 + slot) + ";" + color.formatAsXcolor());
}

void setDynamicColor(Terminal& t, int slot, const Color& color) {
    switch (slot) {
    case 0:
        t.foregroundColor = color;
        if (!t.settingFgColor) t.delegate().setForegroundColor(t, color);
        t.updateFullScreen();
        break;
    case 1:
        t.backgroundColor = color;
        if (!t.settingBgColor) t.delegate().setBackgroundColor(t, color);
        t.updateFullScreen();
        break;
    default:
        t.cursorColor = color;
        if (!t.settingCursorColor) t.delegate().setCursorColor(t, color);
        t.updateRange(t.buffer().y());
        break;
    }
}

// The first item applies to the slot the command names, each further item to the next.
void oscSetColors(Terminal& t, Bytes payload, int startAt) {
    Fields fields(asText(payload));
    int slot = startAt;
    while (slot <= 2) {
        const auto item = fields.next();
        if (!item) return;
        if (item->empty()) continue;
        if (*item == "?") {
            reportColor(t, slot);
        } else if (const auto color = Color::parseColor(*item)) {
            setDynamicColor(t, slot, *color);
        }
        ++slot;
    }
}

void oscResetColor(Terminal& t, Bytes payload) {
    if (payload.empty()) {
        t.ansiColors = t.defaultAnsiColors;
        t.delegate().colorChanged(t, std::nullopt);
        t.updateFullScreen();
        return;
    }
    Fields fields(asText(payload));
    while (const auto item = fields.next()) {
        if (!isDecimal(*item)) continue;
        const int entry = paletteIndex(*item);
        if (entry >= 256 || entry >= static_cast<int>(t.defaultAnsiColors.size()) ||
            entry >= static_cast<int>(t.ansiColors.size()))
            continue;
        t.ansiColors[entry] = t.defaultAnsiColors[entry];
        t.delegate().colorChanged(t, entry);
        t.updateFullScreen();
    }
}

void oscResetCursorColor(Terminal& t) {
    t.cursorColor.reset();
    if (!t.settingCursorColor) t.delegate().setCursorColor(t, std::nullopt);
    t.updateRange(t.buffer().y());
}

} // namespace

void installAttributeHandlers(Terminal& terminal) {
    Terminal& t = terminal;
    t.parser().setCsiFunction(
        'm',
        [](void* t, Params p, Bytes collect) { cmdCharAttributes(*static_cast<Terminal*>(t), p, collect); },
        &t);
    auto& osc = t.parser().oscHandlers;
    osc[4] = [&t](Bytes payload) { oscChangeOrQueryColorIndex(t, payload); };
    osc[10] = [&t](Bytes payload) { oscSetColors(t, payload, 0); };
    osc[11] = [&t](Bytes payload) { oscSetColors(t, payload, 1); };
    osc[12] = [&t](Bytes payload) { oscSetColors(t, payload, 2); };
    osc[104] = [&t](Bytes payload) { oscResetColor(t, payload); };
    osc[112] = [&t](Bytes) { oscResetCursorColor(t); };
}

} // namespace tarvik
