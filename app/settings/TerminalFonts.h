#pragma once

#include "app/settings/UISettings.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tarvik {

struct FontChoice {
    QString identifier;
    QString displayName;
};

// The terminal font choices, the fonts shipped with the program, and the
// font the preferences ask for.
namespace TerminalFonts {

// The six named choices first ("system" shown as L("System")), then every
// other fixed-pitch family installed, by name. Needs a QGuiApplication.
std::vector<FontChoice> choices();

// Registers the four shipped DejaVu Sans Mono files found in folder for this
// process; missing or broken files are skipped. An empty folder does nothing.
void registerIn(const QString& folder);

// The installed family an identifier names, given the installed families:
// "LucidaConsole" is tried as itself, then as "Lucida Console"; the other
// named choices map to their family names; any other identifier must be an
// exact family name. "system" is not a family and gives nothing here.
std::optional<QString> familyFor(const QString& identifier, const QStringList& installed);

// The font for an identifier at a size: "system" is the platform's fixed
// font at regular weight; otherwise the family familyFor finds, or nothing.
std::optional<QFont> resolve(const QString& identifier, double size);

// The stored font at the size of the size rule, or the platform's fixed
// font at that size when the stored one is not installed.
QFont current(const UISettings& settings = UISettings());

} // namespace TerminalFonts

} // namespace tarvik
