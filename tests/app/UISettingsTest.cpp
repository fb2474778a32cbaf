#include "SettingsFixture.h"

#include "app/settings/SettingsNotification.h"
#include "app/settings/UISettings.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>

namespace tarvik {
namespace {

using UISettingsTest = testing::PreferencesTest;

TEST_F(UISettingsTest, ColourParsing) {
    const struct {
        QVariant stored;
        QRgb expected;
    } cases[] = {
        {"1E90FF", 0x1E90FF}, {"1e90ff", 0x1E90FF}, {"000000", 0x000000}, {"#1E90FF", 0x4AF626},
        {"1E90F", 0x4AF626},  {"1E90FF0", 0x4AF626}, {"+1E90F", 0x4AF626}, {" 1E90F", 0x4AF626},
        {"0x1E90", 0x4AF626}, {"GGGGGG", 0x4AF626}, {"", 0x4AF626},       {QVariant(), 0x4AF626},
    };
    for (const auto& c : cases) {
        const QColor colour = UISettings::parseTerminalColour(c.stored, 0x4AF626);
        EXPECT_EQ(colour.rgb() & 0xFFFFFF, c.expected) << c.stored.toString().toStdString();
        EXPECT_EQ(colour.alpha(), 255);
    }
}

TEST_F(UISettingsTest, ColoursFallBackPerKeyAndAreWrittenInUpperCase) {
    UISettings settings;
    EXPECT_EQ(settings.terminalBackground(), QColor(0x00, 0x00, 0x00));
    EXPECT_EQ(settings.terminalForeground(), QColor(0x4A, 0xF6, 0x26));

    settings.setTerminalColour(QColor(0xab, 0xcd, 0xef), true);
    settings.setTerminalColour(QColor::fromHsvF(0.5833f, 2.0f / 3.0f, 0.6f), false);
    EXPECT_EQ(preferences().value("terminalBackground").toString(), "ABCDEF");
    EXPECT_EQ(preferences().value("terminalForeground").toString(), "336699") << "other colour models convert to RGB";
    EXPECT_EQ(settings.terminalBackground(), QColor(0xAB, 0xCD, 0xEF));

    settings.setTerminalColour(QColor(), true);
    EXPECT_EQ(preferences().value("terminalBackground").toString(), "ABCDEF") << "an invalid colour stores nothing";
}

TEST_F(UISettingsTest, FontSizeRule) {
    const struct {
        QVariant stored;
        double expected;
    } cases[] = {
        {8, 14}, {40, 32}, {12.5, 12.5}, {9, 9}, {32, 32}, {8.99, 14}, {0, 14}, {-3, 14}, {QVariant(), 14}, {"x", 14},
    };
    for (const auto& c : cases) {
        if (c.stored.isValid())
            preferences().setValue("fontSize", c.stored);
        else
            preferences().remove("fontSize");
        EXPECT_DOUBLE_EQ(UISettings().fontSize(), c.expected) << c.stored.toString().toStdString();
    }
}

TEST_F(UISettingsTest, OptionAsMetaIsOnUntilTurnedOff) {
    UISettings settings;
    EXPECT_TRUE(settings.optionAsMeta());
    settings.setOptionAsMeta(false);
    EXPECT_FALSE(settings.optionAsMeta());
    settings.setOptionAsMeta(true);
    EXPECT_TRUE(settings.optionAsMeta());
}

// The preference file is an INI file under $XDG_CONFIG_HOME/Tarvik with the
// keys as named; another reader of the same file sees every value.
TEST_F(UISettingsTest, SettingsLiveInAnIniFileUnderTheConfigFolder) {
    UISettings settings;
    settings.setLanguage("ru");
    settings.setAppearance("dark");
    settings.setTerminalFont("DejaVuSansMono");
    settings.setFontSize(12.5);
    settings.setOptionAsMeta(false);
    settings.setTerminalColour(QColor(0x11, 0x22, 0x33), true);
    preferences().sync();

    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Tarvik/Tarvik.conf";
    EXPECT_EQ(Preferences::location(), expected);
    EXPECT_TRUE(expected.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    QFile file(expected);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString ini = QString::fromUtf8(file.readAll());
    for (const char* line : {"language=ru", "appearance=dark", "terminalFont=DejaVuSansMono", "fontSize=12.5",
                             "optionAsMeta=false", "terminalBackground=112233"})
        EXPECT_TRUE(ini.contains(line)) << line << " in\n" << ini.toStdString();

    QSettings other(expected, QSettings::IniFormat);
    const UISettings reread(other);
    EXPECT_EQ(reread.language(), "ru");
    EXPECT_DOUBLE_EQ(reread.fontSize(), 12.5);
    EXPECT_FALSE(reread.optionAsMeta());
    EXPECT_EQ(reread.terminalBackground(), QColor(0x11, 0x22, 0x33));
}

TEST_F(UISettingsTest, AppearanceSwitchesPalettesAndGivesThePlatformLookBack) {
    const QString platformStyle = QApplication::style()->name();
    const QColor platformWindow = QApplication::palette().color(QPalette::Window);
    int notifications = 0;
    const auto connection = QObject::connect(&SettingsNotification::instance(), &SettingsNotification::settingsChanged,
                                             [&] { ++notifications; });
    UISettings settings;

    settings.setAppearance("dark");
    settings.applyAppearance();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QApplication::palette().color(QPalette::WindowText).lightness(), 180);

    settings.setAppearance("light");
    settings.applyAppearance();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 180);

    for (const char* back : {"system", "sepia"}) {
        settings.setAppearance("dark");
        settings.applyAppearance();
        settings.setAppearance(back);
        settings.applyAppearance();
        EXPECT_EQ(QApplication::style()->name(), platformStyle) << back;
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), platformWindow) << back;
    }
    EXPECT_EQ(notifications, 6) << "every application of the theme is announced";
    QObject::disconnect(connection);
}

TEST_F(UISettingsTest, OneNotificationObjectNamedAfterTheNotification) {
    EXPECT_EQ(&SettingsNotification::instance(), &SettingsNotification::instance());
    EXPECT_EQ(SettingsNotification::instance().objectName(), "TarvikSettingsChanged");
}

} // namespace
} // namespace tarvik
