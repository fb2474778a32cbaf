// One Tarvik per user and display: a second start hands over and exits.

#include "app/session/LaunchRequest.h"

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
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !QDir(home.path()).entryList({"tarvik-*.socket"}, QDir::System).isEmpty(); }, 15000));

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
                          Case{{"--help"}, 0, "usage: tarvik [--version] [--help] [-T TITLE]", ""},
                          Case{{"--bogus"}, 2, "", "tarvik: unknown option '--bogus'\nusage: tarvik"},
                          Case{{"-e"}, 2, "", "tarvik: -e needs a program\nusage: tarvik"},
                          Case{{"-T"}, 2, "", "tarvik: -T needs a title\nusage: tarvik"}}) {
        QProcess process;
        process.start(TARVIK_PATH, c.arguments);
        ASSERT_TRUE(process.waitForFinished(15000));
        EXPECT_EQ(process.exitCode(), c.status) << c.arguments.join(' ').toStdString();
        if (!c.out.isEmpty()) {
            EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).startsWith(c.out));
        }
        if (!c.err.isEmpty()) {
            EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).startsWith(c.err));
        }
    }
}

// What x-terminal-emulator callers pass: -T names the tab, -e takes the rest
// of the line as the program, options after it included.
TEST(CommandLine, TitleAndProgramMakeALocalTerminalRequest) {
    struct Case {
        std::vector<std::string> arguments;
        bool local;
        QString title;
        QStringList program;
    };
    for (const Case& c :
         {Case{{}, false, "", {}}, Case{{"-T", "Build"}, true, "Build", {}},
          Case{{"--title", "Логи"}, true, "Логи", {}},
          Case{{"-e", "vim", "-T", "x"}, true, "", {"vim", "-T", "x"}},
          Case{{"-T", "", "-e", "top"}, true, "", {"top"}},
          Case{{"-T", "a", "-T", "b", "-e", "sh", "-c", "echo"}, true, "b", {"sh", "-c", "echo"}}}) {
        const auto parsed = LaunchRequest::parse(c.arguments);
        ASSERT_TRUE(parsed.request.has_value());
        EXPECT_EQ(parsed.request->localTerminal, c.local);
        EXPECT_EQ(parsed.request->title, c.title);
        EXPECT_EQ(parsed.request->program, c.program);
        // The running instance receives exactly what this start asked for.
        const LaunchRequest received = LaunchRequest::decoded(parsed.request->encoded());
        EXPECT_EQ(received.localTerminal, c.local);
        EXPECT_EQ(received.title, c.title);
        EXPECT_EQ(received.program, c.program);
    }
    // A damaged request from the socket only brings the configuration window forward.
    EXPECT_FALSE(LaunchRequest::decoded(QByteArray("\x01\x00\x00\xff", 4)).localTerminal);
}

} // namespace
} // namespace tarvik
