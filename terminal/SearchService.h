#pragma once

namespace tarvik {

class Terminal;

// The view's per-terminal search state. Searching itself is not offered yet; the view
// calls invalidate() whenever the text under a search could have changed.
class SearchService {
  public:
    explicit SearchService(Terminal& terminal) : terminal_(&terminal) {}

    void invalidate();
    Terminal& terminal() const { return *terminal_; }

  private:
    Terminal* terminal_;
};

} // namespace tarvik
