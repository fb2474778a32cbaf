// Runs the widget tests inside one QApplication (offscreen unless the environment
// chooses a platform, as the X11 run does).
#include <gtest/gtest.h>

#include <QApplication>

#include "view/qt/ShippedFonts.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvik::ShippedFonts::registerFonts();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
