#include "app/settings/TerminalPreferences.h"

#include "app/settings/TerminalFonts.h"

namespace tarvik {

TerminalPreferences TerminalPreferences::current(const UISettings& settings) {
    TerminalPreferences p;
    p.font = TerminalFonts::current(settings);
    p.background = settings.terminalBackground();
    p.foreground = settings.terminalForeground();
    p.cursor = p.foreground;
    p.optionAsMeta = settings.optionAsMeta();
    return p;
}

std::optional<QFont> TerminalPreferences::fontFor(const QFont& viewFont) const {
    if (!fontChanged(viewFont, font)) return std::nullopt;
    return font;
}

bool fontChanged(const QFont& shown, const QFont& wanted) {
    return shown.family() != wanted.family() || shown.pointSizeF() != wanted.pointSizeF();
}

} // namespace tarvik
