#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace tarvik {

// The questions the application asks the user in modal alerts. The desktop answers
// through message boxes; tests answer through their own implementation, so every
// branch of an open or a quit can be driven without a person at the keyboard.
class Prompts {
  public:
    virtual ~Prompts() = default;

    // The warning alert titled "Error" with one "OK" button; `message` is final text.
    virtual void showError(const QString& message) = 0;
    // The user name for an SSH session through Skiv; nothing when cancelled.
    virtual std::optional<QString> askUserName() = 0;
    // Asked once before quitting while a session runs; true means quit.
    virtual bool confirmQuit() = 0;
    // Informational panels (About, Help) with one "OK" button.
    virtual void showPanel(const QString& title, const QString& text, QWidget* accessory = nullptr) = 0;
};

class DesktopPrompts : public Prompts {
  public:
    void showError(const QString& message) override;
    std::optional<QString> askUserName() override;
    bool confirmQuit() override;
    void showPanel(const QString& title, const QString& text, QWidget* accessory) override;
};

} // namespace tarvik
