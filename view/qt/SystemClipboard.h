#pragma once

#include <QString>

namespace tarvik {

// The desktop's two clipboards as Linux programs use them: the clipboard proper
// (explicit copy and paste) and the primary selection (the last selected text, pasted
// with the middle button). Where the window system has no primary selection its
// operations do nothing and read as empty.
class SystemClipboard {
  public:
    static void setClipboardText(const QString& text);
    static QString clipboardText();
    static bool hasPrimarySelection();
    static void setPrimaryText(const QString& text);
    static QString primaryText();
};

} // namespace tarvik
