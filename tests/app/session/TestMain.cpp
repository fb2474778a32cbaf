// Session tests run real windows on the offscreen platform, with the user's
// folders pointed at a temporary home so nothing of the real user is touched.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir home;
    const QByteArray root = home.path().toLocal8Bit();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        ::setenv(name, (root + "/" + name).constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("LANGUAGE", "en", 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        QDir().mkpath(QString::fromLocal8Bit(std::getenv(name)));
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
