#include "app/settings/TerminalFonts.h"

#include "app/settings/Localization.h"
#include "app/settings/UISettings.h"

#include <QDir>
#include <QFontDatabase>
#include <algorithm>

namespace tarvik::TerminalFonts {

namespace {

struct NamedChoice {
    const char* identifier;
    const char* displayName;
    const char* family;
};

// The identifiers are the fonts' PostScript names; on this system fonts are
// found by family name.
constexpr NamedChoice namedChoices[] = {
    {"system", "System", nullptr},
    {"DejaVuSansMono", "DejaVu Sans Mono", "DejaVu Sans Mono"},
    {"LucidaConsole", "Lucida Console", "Lucida Console"},
    {"Menlo-Regular", "Menlo", "Menlo"},
    {"Monaco", "Monaco", "Monaco"},
    {"Courier", "Courier", "Courier"},
};

constexpr const char* shippedFiles[] = {"DejaVuSansMono", "DejaVuSansMono-Bold", "DejaVuSansMono-Oblique",
                                        "DejaVuSansMono-BoldOblique"};

QFont systemFixedFont(double size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setWeight(QFont::Normal);
    font.setPointSizeF(size);
    return font;
}

} // namespace

std::vector<FontChoice> choices() {
    std::vector<FontChoice> list;
    QStringList named;
    for (const NamedChoice& c : namedChoices) {
        list.push_back({c.identifier, c.family == nullptr ? L(c.displayName) : QString(c.displayName)});
        if (c.family != nullptr) named << c.family;
    }
    QStringList others;
    for (const QString& family : QFontDatabase::families())
        if (QFontDatabase::isFixedPitch(family) && !named.contains(family) && !QFontDatabase::isPrivateFamily(family))
            others << family;
    others.sort(Qt::CaseInsensitive);
    others.removeDuplicates();
    for (const QString& family : others)
        list.push_back({family, family});
    return list;
}

void registerIn(const QString& folder) {
    if (folder.isEmpty()) return;
    const QDir dir(folder);
    for (const char* name : shippedFiles)
        QFontDatabase::addApplicationFont(dir.filePath(QString(name) + ".ttf"));
}

std::optional<QString> familyFor(const QString& identifier, const QStringList& installed) {
    auto exact = [&](const QString& family) -> std::optional<QString> {
        if (installed.contains(family, Qt::CaseSensitive)) return family;
        return std::nullopt;
    };
    if (identifier == "system") return std::nullopt;
    if (identifier == "LucidaConsole") {
        if (auto found = exact("LucidaConsole")) return found;
        return exact("Lucida Console");
    }
    for (const NamedChoice& c : namedChoices)
        if (c.family != nullptr && identifier == c.identifier) return exact(c.family);
    return exact(identifier);
}

std::optional<QFont> resolve(const QString& identifier, double size) {
    if (identifier == "system") return systemFixedFont(size);
    const auto family = familyFor(identifier, QFontDatabase::families());
    if (!family) return std::nullopt;
    QFont font(*family);
    font.setPointSizeF(size);
    font.setStyleHint(QFont::Monospace);
    return font;
}

QFont current(const UISettings& settings) {
    const double size = settings.fontSize();
    if (auto font = resolve(settings.terminalFont(), size)) return *font;
    return systemFixedFont(size);
}

} // namespace tarvik::TerminalFonts
