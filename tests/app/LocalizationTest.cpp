#include "SettingsFixture.h"

#include "app/settings/Localization.h"
#include "app/settings/TranslationTable.h"
#include "app/settings/UISettings.h"

#include <QLocale>

namespace tarvik {
namespace {

using LocalizationTest = testing::PreferencesTest;

TEST_F(LocalizationTest, TranslatesIntoTheStoredLanguage) {
    const struct {
        const char* language;
        const char* expected;
    } cases[] = {
        {"en", "Default Settings"},        {"ru", "Настройки по умолчанию"}, {"de", "Standardeinstellungen"},
        {"fr", "Paramètres par défaut"},   {"es", "Ajustes predeterminados"}, {"pt", "Configurações padrão"},
        {"zh", "默认设置"},
    };
    for (const auto& c : cases) {
        UISettings().setLanguage(c.language);
        EXPECT_EQ(L("Default Settings").toStdString(), c.expected) << c.language;
        EXPECT_EQ(L(QString("Default Settings")).toStdString(), c.expected) << c.language;
    }
}

TEST_F(LocalizationTest, UnknownTextsComeBackUnchanged) {
    UISettings().setLanguage("de");
    EXPECT_EQ(L("web-server (prod)"), "web-server (prod)");
    EXPECT_EQ(L("/home/ann/.ssh/id_ed25519"), "/home/ann/.ssh/id_ed25519");
    EXPECT_EQ(L(""), "");
    EXPECT_EQ(L("save"), "save") << "keys are matched exactly";
}

TEST_F(LocalizationTest, TranslateTakesAnyTableAndLanguage) {
    const auto table = TranslationTable::parse("Yes|Да|Ja|Oui|Sí|Sim|是\n");
    EXPECT_EQ(translate(table, "pt", "Yes"), "Sim");
    EXPECT_EQ(translate(table, "it", "Yes"), "Yes") << "a language without a column";
    EXPECT_EQ(translate(TranslationTable::parse(""), "de", "Yes"), "Yes") << "an empty table";
}

TEST_F(LocalizationTest, LanguageResolution) {
    const struct {
        QVariant stored;
        QStringList system;
        const char* expected;
    } cases[] = {
        {QVariant(), {"fr-CA", "en-US"}, "fr"},
        {QVariant(), {"ja-JP", "fr-FR"}, "en"},  // only the first system language counts
        {QVariant(), {"zh-Hans-CN"}, "zh"},
        {QVariant(), {}, "en"},
        {QVariant("it"), {"pt-BR"}, "pt"},      // a stored language without a column is ignored
        {QVariant("de"), {"ru-RU"}, "de"},
        {QVariant(""), {"es-ES"}, "es"},
        {QVariant("DE"), {"ja"}, "en"},         // codes are exact
    };
    for (const auto& c : cases)
        EXPECT_EQ(UISettings::resolveLanguage(c.stored, c.system).toStdString(), c.expected)
            << c.stored.toString().toStdString() << " / " << c.system.join(',').toStdString();
}

TEST_F(LocalizationTest, StoredLanguageOutsideTheSevenFallsBackToTheSystem) {
    preferences().setValue("language", "it");
    const QString system = UISettings::resolveLanguage(QVariant(), QLocale::system().uiLanguages());
    EXPECT_EQ(UISettings().language(), system);
    preferences().setValue("language", "de");
    EXPECT_EQ(UISettings().language(), "de");
}

TEST_F(LocalizationTest, LanguagesAreTheSevenInColumnOrder) {
    QStringList codes;
    for (const Language& l : UISettings::languages())
        codes << l.code;
    EXPECT_EQ(codes, QStringList({"en", "ru", "de", "fr", "es", "pt", "zh"}));
    EXPECT_EQ(UISettings::languages()[6].displayName, "中文");
    EXPECT_EQ(UISettings::languageIndex("xx"), -1);
}

} // namespace
} // namespace tarvik
