#pragma once

#include "app/settings/Preferences.h"

#include <QColor>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace tarvik {

struct Language {
    QString code;
    QString displayName;
};

// The interface settings kept in the per-user preferences. Nothing is cached:
// every read goes to the preference store, so a change made anywhere is seen
// at once.
class UISettings {
  public:
    static constexpr QRgb defaultBackground = 0x000000;
    static constexpr QRgb defaultForeground = 0x4AF626;

    explicit UISettings(QSettings& preferences = Preferences::shared()) : preferences_(preferences) {}

    // The seven interface languages; their order is the column order of the
    // translation table.
    static const std::vector<Language>& languages();
    // The position of a code in languages(), or -1.
    static int languageIndex(const QString& code);
    // A stored code when it is one of the seven, else the first system
    // language cut to two letters when that is one, else "en".
    static QString resolveLanguage(const QVariant& stored, const QStringList& systemLanguages);

    QString language() const;
    void setLanguage(const QString& code);

    // "system", "light" or "dark"; "system" when unset.
    QString appearance() const;
    void setAppearance(const QString& appearance);
    // Fusion with a light or dark palette, or the platform's own style and
    // palette for anything else; then posts the settings-changed notification.
    // Needs a QApplication.
    void applyAppearance() const;

    // True until the user turns it off.
    bool optionAsMeta() const;
    void setOptionAsMeta(bool on);

    // Six hexadecimal digits RRGGBB, either case; anything else is the fallback.
    static QColor parseTerminalColour(const QVariant& stored, QRgb fallback);
    QColor terminalColour(const QString& key, QRgb fallback) const;
    QColor terminalBackground() const { return terminalColour("terminalBackground", defaultBackground); }
    QColor terminalForeground() const { return terminalColour("terminalForeground", defaultForeground); }
    // Stores upper-case RRGGBB under "terminalBackground" or "terminalForeground";
    // an invalid colour stores nothing.
    void setTerminalColour(const QColor& colour, bool background);
    // Text form of a colour, or an empty string when it has none.
    static QString colourText(const QColor& colour);

    // The identifier of the chosen terminal font; "system" when unset.
    QString terminalFont() const;
    void setTerminalFont(const QString& identifier);
    // Sizes below 9 points (an unset size reads as 0) become 14, larger ones
    // stop at 32.
    static double fontSizeRule(double stored);
    double fontSize() const;
    void setFontSize(double points);

  private:
    QSettings& preferences_;
};

} // namespace tarvik
