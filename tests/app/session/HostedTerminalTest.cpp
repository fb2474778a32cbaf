// Every open terminal follows the settings at once.

#include "app/session/HostedTerminal.h"
#include "app/settings/Preferences.h"
#include "app/settings/SettingsNotification.h"
#include "app/settings/UISettings.h"
#include "view/qt/TerminalView.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <array>
#include <memory>

namespace tarvik {
namespace {

class TwoTerminals : public ::testing::Test {
  protected:
    void SetUp() override {
        Preferences::shared().clear();
        for (auto& terminal : terminals_) {
            terminal = std::make_unique<HostedTerminal>();
            terminal->resize(900, 500);
            terminal->show();
        }
        QApplication::processEvents();
    }
    void TearDown() override {
        for (auto& terminal : terminals_)
            terminal.reset();
        Preferences::shared().clear();
    }
    static void announce() {
        SettingsNotification::post();
        QApplication::processEvents();
    }

    UISettings settings_;
    std::array<std::unique_ptr<HostedTerminal>, 2> terminals_;
};

TEST_F(TwoTerminals, ColoursAndAltAsMetaReachBothWithoutAResize) {
    const int columns = terminals_[0]->columns(), rows = terminals_[0]->rows();
    ASSERT_GT(columns, 20);
    settings_.setTerminalColour(QColor(0x10, 0x20, 0x30), true);
    settings_.setTerminalColour(QColor(0xF0, 0xE0, 0xD0), false);
    settings_.setOptionAsMeta(false);
    announce();
    for (auto& terminal : terminals_) {
        Terminal& engine = terminal->view().terminal();
        EXPECT_EQ(engine.backgroundColor.red >> 8, 0x10);
        EXPECT_EQ(engine.backgroundColor.blue >> 8, 0x30);
        EXPECT_EQ(engine.foregroundColor.green >> 8, 0xE0);
        EXPECT_FALSE(terminal->view().optionAsMetaKey());
        // The font stayed, so the grid did too: no size change reaches the program.
        EXPECT_EQ(terminal->columns(), columns);
        EXPECT_EQ(terminal->rows(), rows);
    }
}

TEST_F(TwoTerminals, ALargerFontRegridsBoth) {
    const int columns = terminals_[0]->columns(), rows = terminals_[0]->rows();
    settings_.setFontSize(settings_.fontSize() * 2);
    announce();
    for (auto& terminal : terminals_) {
        EXPECT_EQ(terminal->view().terminalFont().pointSizeF(), settings_.fontSize());
        EXPECT_LT(terminal->columns(), columns * 3 / 4);
        EXPECT_LT(terminal->rows(), rows * 3 / 4);
    }
}

} // namespace
} // namespace tarvik
