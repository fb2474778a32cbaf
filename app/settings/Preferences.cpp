#include "app/settings/Preferences.h"

#include <QStandardPaths>

namespace tarvik::Preferences {

QString location() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Tarvik/Tarvik.conf";
}

QSettings& shared() {
    static QSettings settings(location(), QSettings::IniFormat);
    return settings;
}

} // namespace tarvik::Preferences
