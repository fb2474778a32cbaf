#pragma once

#include <string>

namespace tarvik {

struct WindowSize {
    unsigned short columns = 80;
    unsigned short rows = 24;
};

// The terminal the engine runs on (standard input and output). Owns the
// terminal settings found at start and puts them back on every way out,
// including the terminating signals; window-size changes arrive as a readable
// descriptor so that poll loops can wait for them alongside the connection.
class Console {
  public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool isTerminal() const { return isTerminal_; }

    // Bytes pass both ways untouched: no echo, no line editing, no signals from keys.
    void enterRawMode();
    void restore();

    WindowSize windowSize() const;

    // Readable after each window-size change; call takeResize() to clear it.
    int resizeDescriptor() const;
    bool takeResize();

    // A line typed by the user, with or without echo. Returns false at end of input.
    // The line is read into storage reserved up front (longer input is cut
    // short), so a password leaves no copies behind in freed memory; callers
    // wipe() it when done.
    bool readLine(const std::string& prompt, std::string& line, bool echo);
    // Overwrites all of a secret's storage and empties it.
    static void wipe(std::string& secret);

    static void writeAll(int fd, const char* data, size_t size);
    static void message(const std::string& text); // one line on standard error, "skiv: " prefixed

  private:
    bool isTerminal_ = false;
};

} // namespace tarvik
