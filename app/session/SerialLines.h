#pragma once

#include <QString>
#include <QStringList>

namespace tarvik::SerialLines {

// The serial line a new profile starts with: the first USB serial adapter.
inline const QString initial = QStringLiteral("/dev/ttyUSB0");

// The serial devices present under devices (normally "/dev"): USB adapters
// (ttyUSB*), modems and boards (ttyACM*), built-in ports (ttyS*) and the
// stable names under serial/by-id, each group sorted by name.
QStringList present(const QString& devices = QStringLiteral("/dev"));

} // namespace tarvik::SerialLines
