#include "SettingsFixture.h"

#include "app/settings/TerminalFonts.h"
#include "app/settings/TerminalPreferences.h"

#include <QDir>
#include <QFontDatabase>
#include <QSet>

namespace tarvik {
namespace {

using TerminalFontsTest = testing::PreferencesTest;

const QString dejaVuFolder = "/usr/share/fonts/truetype/dejavu";

TEST_F(TerminalFontsTest, IdentifiersMapToInstalledFamilies) {
    const struct {
        const char* identifier;
        QStringList installed;
        std::optional<QString> expected;
    } cases[] = {
        {"LucidaConsole", {"Lucida Console"}, "Lucida Console"},
        {"LucidaConsole", {"Lucida Console", "LucidaConsole"}, "LucidaConsole"},
        {"LucidaConsole", {"Lucida Sans"}, std::nullopt},
        {"DejaVuSansMono", {"DejaVu Sans Mono"}, "DejaVu Sans Mono"},
        {"Menlo-Regular", {"Menlo"}, "Menlo"},
        {"Menlo-Regular", {"DejaVu Sans Mono"}, std::nullopt},
        {"Courier", {"Courier New"}, std::nullopt},
        {"Liberation Mono", {"Liberation Mono"}, "Liberation Mono"},
        {"liberation mono", {"Liberation Mono"}, std::nullopt},
        {"system", {"system"}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TerminalFonts::familyFor(c.identifier, c.installed), c.expected) << c.identifier;
}

TEST_F(TerminalFontsTest, ChoicesAreTheNamedSixThenOtherInstalledFixedPitchFamilies) {
    TerminalFonts::registerIn(dejaVuFolder);
    const auto choices = TerminalFonts::choices();
    ASSERT_GE(choices.size(), 6u);
    const QStringList named{"system", "DejaVuSansMono", "LucidaConsole", "Menlo-Regular", "Monaco", "Courier"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(choices[std::size_t(i)].identifier, named[i]);
    EXPECT_EQ(choices[0].displayName, "System");
    EXPECT_EQ(choices[1].displayName, "DejaVu Sans Mono");
    QSet<QString> seen;
    for (std::size_t i = 6; i < choices.size(); ++i) {
        EXPECT_TRUE(QFontDatabase::isFixedPitch(choices[i].identifier)) << choices[i].identifier.toStdString();
        EXPECT_NE(choices[i].identifier, "DejaVu Sans Mono") << "already a named choice";
        EXPECT_FALSE(seen.contains(choices[i].identifier));
        seen.insert(choices[i].identifier);
    }
}

TEST_F(TerminalFontsTest, SystemChoiceIsShownInTheInterfaceLanguage) {
    UISettings().setLanguage("de");
    EXPECT_EQ(TerminalFonts::choices()[0].displayName, "Systemvorgabe");
}

TEST_F(TerminalFontsTest, ShippedFontsRegisterAndResolve) {
    TerminalFonts::registerIn(dejaVuFolder);
    TerminalFonts::registerIn(QString());  // no folder: nothing happens
    TerminalFonts::registerIn("/nonexistent/folder");
    const auto font = TerminalFonts::resolve("DejaVuSansMono", 13);
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(font->family(), "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(font->pointSizeF(), 13);
    EXPECT_FALSE(TerminalFonts::resolve("No Such Family 42", 13).has_value());

    const auto system = TerminalFonts::resolve("system", 11.5);
    ASSERT_TRUE(system.has_value());
    EXPECT_EQ(system->family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_EQ(system->weight(), QFont::Normal);
    EXPECT_DOUBLE_EQ(system->pointSizeF(), 11.5);
}

TEST_F(TerminalFontsTest, CurrentFontFallsBackToTheSystemFontAtTheRuleSize) {
    TerminalFonts::registerIn(dejaVuFolder);
    UISettings settings;
    settings.setTerminalFont("DejaVuSansMono");
    settings.setFontSize(40);
    EXPECT_EQ(TerminalFonts::current().family(), "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(TerminalFonts::current().pointSizeF(), 32);

    settings.setTerminalFont("Monaco");  // not installed here
    settings.setFontSize(8);
    const QFont fallback = TerminalFonts::current();
    EXPECT_EQ(fallback.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_DOUBLE_EQ(fallback.pointSizeF(), 14);
}

TEST_F(TerminalFontsTest, PreferencesForAViewComeFromTheSettings) {
    TerminalFonts::registerIn(dejaVuFolder);
    UISettings settings;
    const TerminalPreferences defaults = TerminalPreferences::current();
    EXPECT_EQ(defaults.background, QColor(0, 0, 0));
    EXPECT_EQ(defaults.foreground, QColor(0x4A, 0xF6, 0x26));
    EXPECT_EQ(defaults.cursor, defaults.foreground);
    EXPECT_TRUE(defaults.optionAsMeta);
    EXPECT_DOUBLE_EQ(defaults.font.pointSizeF(), 14);

    settings.setTerminalFont("DejaVuSansMono");
    settings.setFontSize(12);
    settings.setTerminalColour(QColor(0x10, 0x20, 0x30), true);
    settings.setTerminalColour(QColor(0xF0, 0xE0, 0xD0), false);
    settings.setOptionAsMeta(false);
    const TerminalPreferences p = TerminalPreferences::current();
    EXPECT_EQ(p.font.family(), "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(p.font.pointSizeF(), 12);
    EXPECT_EQ(p.background, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(p.foreground, QColor(0xF0, 0xE0, 0xD0));
    EXPECT_EQ(p.cursor, p.foreground);
    EXPECT_FALSE(p.optionAsMeta);
}

// A view is given a font only when family or size differ, so a colour edit
// does not resize every open terminal.
TEST_F(TerminalFontsTest, FontIsSetOnlyWhenFamilyOrSizeChanged) {
    TerminalFonts::registerIn(dejaVuFolder);
    UISettings settings;
    settings.setTerminalFont("DejaVuSansMono");
    settings.setFontSize(12);
    const TerminalPreferences p = TerminalPreferences::current();

    QFont same("DejaVu Sans Mono");
    same.setPointSizeF(12);
    EXPECT_FALSE(p.fontFor(same).has_value());

    QFont otherSize = same;
    otherSize.setPointSizeF(12.5);
    ASSERT_TRUE(p.fontFor(otherSize).has_value());
    EXPECT_DOUBLE_EQ(p.fontFor(otherSize)->pointSizeF(), 12);

    QFont otherFamily("Noto Color Emoji");
    otherFamily.setPointSizeF(12);
    EXPECT_TRUE(p.fontFor(otherFamily).has_value());
}

} // namespace
} // namespace tarvik
