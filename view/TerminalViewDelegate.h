#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tarvik {

class TerminalViewCore;

// The host of a terminal view (the hosted terminal of a session window). All but send
// have defaults.
class TerminalViewDelegate {
  public:
    virtual ~TerminalViewDelegate() = default;

    // Bytes for the child process: keys, pastes, mouse reports and the engine's replies.
    virtual void send(TerminalViewCore& source, std::span<const std::uint8_t> data) = 0;
    virtual void sizeChanged(TerminalViewCore& /*source*/, int /*newCols*/, int /*newRows*/) {}
    virtual void setTerminalTitle(TerminalViewCore& /*source*/, const std::string& /*title*/) {}
    virtual void hostCurrentDirectoryUpdate(TerminalViewCore& /*source*/,
                                            const std::optional<std::string>& /*directory*/) {}
    // position: 0 (top of the history) ... 1 (the live screen).
    virtual void scrolled(TerminalViewCore& /*source*/, double /*position*/) {}
    virtual void requestOpenLink(TerminalViewCore& /*source*/, const std::string& /*link*/,
                                 const std::vector<std::pair<std::string, std::string>>& /*params*/) {}
    virtual void bell(TerminalViewCore& /*source*/) {}
    virtual void iTermContent(TerminalViewCore& /*source*/, std::span<const std::uint8_t> /*content*/) {}
    // The changed rows of each display update, when the view's notifyUpdateChanges is on.
    virtual void rangeChanged(TerminalViewCore& /*source*/, int /*startY*/, int /*endY*/) {}
};

} // namespace tarvik
