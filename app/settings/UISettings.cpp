#include "app/settings/UISettings.h"

#include "app/settings/SettingsNotification.h"

#include <QApplication>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x2B, 0x2B, 0x2B), base(0x1E, 0x1E, 0x1E), text(0xE6, 0xE6, 0xE6);
    const QColor disabled(0x80, 0x80, 0x80), highlight(0x2F, 0x65, 0xCA);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(0x45, 0x45, 0x45));
    p.setColor(QPalette::Midlight, QColor(0x3A, 0x3A, 0x3A));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x30));
    p.setColor(QPalette::Dark, QColor(0x20, 0x20, 0x20));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6C, 0xA6, 0xFF));
    p.setColor(QPalette::LinkVisited, QColor(0xB0, 0x8C, 0xFF));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

// The platform's style and palette as they were before the first theme was
// applied, so "system" can give them back.
struct PlatformLook {
    QString style;
    QPalette palette;
};

const PlatformLook& platformLook() {
    static const PlatformLook look{QApplication::style()->name(), QApplication::palette()};
    return look;
}

} // namespace

const std::vector<Language>& UISettings::languages() {
    static const std::vector<Language> list{
        {"en", "English"},  {"ru", "Русский"},   {"de", "Deutsch"}, {"fr", "Français"},
        {"es", "Español"},  {"pt", "Português"}, {"zh", "中文"},
    };
    return list;
}

int UISettings::languageIndex(const QString& code) {
    const auto& list = languages();
    const auto found = std::find_if(list.begin(), list.end(), [&](const Language& l) { return l.code == code; });
    return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

QString UISettings::resolveLanguage(const QVariant& stored, const QStringList& systemLanguages) {
    if (stored.isValid()) {
        const QString code = stored.toString();
        if (languageIndex(code) >= 0) return code;
    }
    const QString system = systemLanguages.isEmpty() ? QString("en") : systemLanguages.front().left(2);
    return languageIndex(system) >= 0 ? system : QString("en");
}

QString UISettings::language() const {
    return resolveLanguage(preferences_.value("language"), QLocale::system().uiLanguages());
}

void UISettings::setLanguage(const QString& code) {
    preferences_.setValue("language", code);
}

QString UISettings::appearance() const {
    return preferences_.value("appearance", "system").toString();
}

void UISettings::setAppearance(const QString& appearance) {
    preferences_.setValue("appearance", appearance);
}

void UISettings::applyAppearance() const {
    const PlatformLook& platform = platformLook();
    const QString chosen = appearance();
    if (chosen == "dark" || chosen == "light") {
        QStyle* fusion = QStyleFactory::create("Fusion");
        QApplication::setStyle(fusion);
        QApplication::setPalette(chosen == "dark" ? darkPalette() : fusion->standardPalette());
    } else {
        QApplication::setStyle(QStyleFactory::create(platform.style));
        QApplication::setPalette(platform.palette);
    }
    SettingsNotification::post();
}

bool UISettings::optionAsMeta() const {
    return preferences_.value("optionAsMeta", true).toBool();
}

void UISettings::setOptionAsMeta(bool on) {
    preferences_.setValue("optionAsMeta", on);
}

QColor UISettings::parseTerminalColour(const QVariant& stored, QRgb fallback) {
    const QString text = stored.toString();
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    // toUInt would also take a sign or "0x"; only six plain digits count.
    const bool digitsOnly = std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
    return QColor::fromRgb(text.size() == 6 && ok && digitsOnly ? value : fallback);
}

QColor UISettings::terminalColour(const QString& key, QRgb fallback) const {
    return parseTerminalColour(preferences_.value(key), fallback);
}

QString UISettings::colourText(const QColor& colour) {
    if (!colour.isValid()) return {};
    const QColor rgb = colour.toRgb();
    auto component = [](float f) { return static_cast<int>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
    return QString::asprintf("%02X%02X%02X", component(rgb.redF()), component(rgb.greenF()), component(rgb.blueF()));
}

void UISettings::setTerminalColour(const QColor& colour, bool background) {
    const QString text = colourText(colour);
    if (text.isEmpty()) return;
    preferences_.setValue(background ? "terminalBackground" : "terminalForeground", text);
}

QString UISettings::terminalFont() const {
    return preferences_.value("terminalFont", "system").toString();
}

void UISettings::setTerminalFont(const QString& identifier) {
    preferences_.setValue("terminalFont", identifier);
}

double UISettings::fontSizeRule(double stored) {
    return stored >= 9 ? std::min(stored, 32.0) : 14.0;
}

double UISettings::fontSize() const {
    return fontSizeRule(preferences_.value("fontSize", 0).toDouble());
}

void UISettings::setFontSize(double points) {
    preferences_.setValue("fontSize", points);
}

} // namespace tarvik
