#pragma once

#include <cstdint>
#include <string>

namespace tarvik {

// The keys that type no text. Mirrors the toolkit's special-key codes (Return and the
// keypad's Enter are both `enter`; the event's keypad flag tells them apart).
enum class Key : std::uint8_t {
    none, // a key that types text (or one the view does not know)
    escape,
    tab,
    backtab,
    backspace,
    enter,
    insert,
    deleteKey,
    home,
    end,
    left,
    up,
    right,
    down,
    pageUp,
    pageDown,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
};

// Modifier keys held during an event. Control is the Ctrl key, alt the Alt key (not
// AltGr, which only changes the text), super the Super/Windows key.
struct KeyModifiers {
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool super = false;

    bool any() const { return shift || control || alt || super; }
    friend bool operator==(const KeyModifiers&, const KeyModifiers&) = default;
};

// Keyboard scan codes (xkb key codes, as the toolkit reports them natively) of the keys
// whose clipboard shortcuts must work whatever letter the layout puts on them.
namespace ScanCode {
inline constexpr std::uint32_t a = 38;
inline constexpr std::uint32_t c = 54;
inline constexpr std::uint32_t v = 55;
} // namespace ScanCode

// One key press as the view sees it.
struct KeyEvent {
    // UTF-8 of what the key types with Shift and the layout applied but without
    // Control, Alt or Super ("a", "A", "ä", "с"); empty for keys that type nothing.
    std::string text;
    Key key = Key::none;
    KeyModifiers modifiers;
    // Native scan code of the physical key (see ScanCode); 0 when unknown.
    std::uint32_t scanCode = 0;
    // The key sits on the numeric keypad.
    bool keypad = false;
};

} // namespace tarvik
