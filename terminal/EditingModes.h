#pragma once

namespace tarvik {

// The modes that decide where a printed character lands. The terminal owns them and both
// of its screens read the same flags, so a screen can never print by stale rules.
struct EditingModes {
    bool insertMode = false;
    bool marginMode = false;
    bool wraparound = true;
};

} // namespace tarvik
