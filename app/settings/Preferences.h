#pragma once

#include <QSettings>
#include <QString>

namespace tarvik::Preferences {

// The per-user preference file: Tarvik/Tarvik.conf (INI) under
// $XDG_CONFIG_HOME, default ~/.config. Read when first asked for, so a test
// that points XDG_CONFIG_HOME elsewhere must do so before the first use.
QString location();

// The process-wide preference store. Main thread only, like every caller.
QSettings& shared();

} // namespace tarvik::Preferences
