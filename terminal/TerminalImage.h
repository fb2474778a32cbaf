#pragma once

namespace tarvik {

// A picture strip one cell row high, attached to a line by the host. The engine only
// keeps strips with their lines; what a strip holds and how it is drawn is the host's.
class TerminalImage {
  public:
    virtual ~TerminalImage() = default;
    virtual int pixelWidth() const = 0;
    virtual int pixelHeight() const = 0;
    // Cell column of the strip's left edge.
    virtual int col() const = 0;
    virtual void setCol(int value) = 0;
};

} // namespace tarvik
