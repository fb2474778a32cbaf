#include "app/settings/SettingsNotification.h"

namespace tarvik {

SettingsNotification::SettingsNotification() {
    setObjectName(QString::fromLatin1(name));
}

SettingsNotification& SettingsNotification::instance() {
    static SettingsNotification notification;
    return notification;
}

void SettingsNotification::post() {
    emit instance().settingsChanged();
}

} // namespace tarvik
