#pragma once

#include <QObject>

namespace tarvik {

// The process-wide "settings changed" announcement: theme, font, colour and
// Alt-as-Meta edits post it, and every open terminal re-applies its look.
class SettingsNotification : public QObject {
    Q_OBJECT

  public:
    // The notification's identifier, kept as the object's name.
    static constexpr const char* name = "TarvikSettingsChanged";

    static SettingsNotification& instance();
    // Emits settingsChanged() on the one instance.
    static void post();

  signals:
    void settingsChanged();

  private:
    SettingsNotification();
};

} // namespace tarvik
