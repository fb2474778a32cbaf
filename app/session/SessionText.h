#pragma once

#include "core/ClosePolicy.h"
#include "core/Connection.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// The words a session window shows, decided apart from the widgets so they can be
// checked for every state. A local terminal is a session without a profile.
namespace SessionText {

// "TITLE — Tarvik", or the translated "Local Terminal — Tarvik".
QString windowTitle(const std::optional<Connection>& connection);
// The profile's address, or "localhost · SHELL" for a local terminal.
QString address(const std::optional<Connection>& connection, const QString& shellName);
// Which program runs the session: the shell's name, the Skiv engine or OpenSSH.
QString engineLabel(const std::optional<Connection>& connection, const QString& shellName);
// "Running · ENGINE" while the child runs; "Exited", with " · CODE" once known.
QString status(bool running, std::optional<std::int32_t> code, const QString& engine);
// Shown in the terminal below the last output when the child has gone.
QString exitBanner(std::int32_t code);
// The first `limit` user-perceived characters of a title set by the program.
QString cutTitle(const QString& title, int limit = 100);

// Whether the window closes itself once the child has exited with `code`.
bool closesOnExit(const std::optional<Connection>& connection, std::int32_t code);

} // namespace SessionText

} // namespace tarvik
