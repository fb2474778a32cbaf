#pragma once

#include "app/settings/UISettings.h"

#include <QColor>
#include <QFont>
#include <optional>

namespace tarvik {

// What the settings ask of one terminal view: a hosted terminal builds this
// at construction and on every settings-changed notification, then sets the
// font (only when fontFor gives one), the colours and Alt-as-Meta, and
// schedules a repaint.
struct TerminalPreferences {
    QFont font;
    QColor background;
    QColor foreground;
    QColor cursor;
    bool optionAsMeta = true;

    // The font, colours and Alt-as-Meta the preferences hold now.
    static TerminalPreferences current(const UISettings& settings = UISettings());

    // The font to give a view that shows viewFont, or nothing when the family
    // and size already match: setting an equal font would resize the terminal
    // for nothing.
    std::optional<QFont> fontFor(const QFont& viewFont) const;

    friend bool operator==(const TerminalPreferences&, const TerminalPreferences&) = default;
};

// A different family, or the same family at another point size.
bool fontChanged(const QFont& shown, const QFont& wanted);

} // namespace tarvik
