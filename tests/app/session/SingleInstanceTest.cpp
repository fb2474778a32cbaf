// One Tarvik per user and display: a second start hands over and exits.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace tarvik {
namespace {

QProcessEnvironment privateEnvironment(const QTemporaryDir& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("DISPLAY", ":tarvik-test");
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        environment.insert(name, home.path());
    return environment;
}

TEST(SingleInstance, ASecondStartHandsOverToTheFirstAndExits) {
    QTemporaryDir home;
    QProcess first;
    first.setProcessEnvironment(privateEnvironment(home));
    first.start(TARVIK_PATH, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first instance answers once its socket exists.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QDir(home.path()).entryList({"tarvik-*.socket"}, QDir::System).isEmpty(); },
                                15000));

    QProcess second;
    second.setProcessEnvironment(privateEnvironment(home));
    second.start(TARVIK_PATH, {});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    EXPECT_TRUE(first.waitForFinished(15000));
}

TEST(CommandLine, VersionHelpAndUnknownOptions) {
    struct Case {
        QStringList arguments;
        int status;
        QString out;
        QString err;
    };
    for (const Case& c : {Case{{"--version"}, 0, "Tarvik 1.4.2\n", ""},
                          Case{{"--bogus"}, 2, "", "usage: tarvik"}, Case{{"-e"}, 2, "", "usage: tarvik"}}) {
        QProcess process;
        process.start(TARVIK_PATH, c.arguments);
        ASSERT_TRUE(process.waitForFinished(15000));
        EXPECT_EQ(process.exitCode(), c.status) << c.arguments.join(' ').toStdString();
        if (!c.out.isEmpty())
            EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), c.out);
        if (!c.err.isEmpty())
            EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).startsWith(c.err));
    }
}

} // namespace
} // namespace tarvik
