// The application end to end: real sessions in real tabs, real children on
// pseudo-terminals, the Skiv engine against local servers.

#include "Harness.h"
#include "app/session/ApplicationController.h"
#include "app/session/ConfigurationWindowController.h"
#include "app/session/HostedTerminal.h"
#include "app/session/LaunchRequest.h"
#include "app/session/Prompts.h"
#include "app/session/SessionFrame.h"
#include "app/session/SessionWindowController.h"
#include "tools/ScreenReport.h"
#include "view/qt/TerminalView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <deque>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {
namespace {

constexpr int deadline = 15000;

// The user's answers, given in advance; every question asked is recorded.
class ScriptedPrompts : public Prompts {
  public:
    std::vector<QString> errors;
    std::deque<std::optional<QString>> userNames;
    std::deque<bool> quitAnswers;
    int quitQuestions = 0;

    void showError(const QString& message) override { errors.push_back(message); }
    std::optional<QString> askUserName() override {
        if (userNames.empty()) return std::nullopt;
        auto answer = userNames.front();
        userNames.pop_front();
        return answer;
    }
    bool confirmQuit() override {
        ++quitQuestions;
        const bool answer = quitAnswers.empty() || quitAnswers.front();
        if (!quitAnswers.empty()) quitAnswers.pop_front();
        return answer;
    }
    void showPanel(const QString&, const QString&, QWidget* accessory) override { delete accessory; }
};

std::string screen(SessionWindowController& session) {
    return screenAsText(session.terminal().view().terminal());
}

bool shows(SessionWindowController& session, const std::string& text) {
    return QTest::qWaitFor([&] { return screen(session).find(text) != std::string::npos; }, deadline);
}

class Application : public ::testing::Test {
  protected:
    void SetUp() override {
        auto prompts = std::make_unique<ScriptedPrompts>();
        prompts_ = prompts.get();
        app_ = std::make_unique<ApplicationController>(std::move(prompts));
        app_->launch();
    }
    void TearDown() override {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    SessionWindowController* last() { return app_->terminals().empty() ? nullptr : app_->terminals().back(); }

    SessionWindowController& openLocal(const QStringList& program = {}) {
        const std::size_t before = app_->terminals().size();
        app_->open(std::nullopt, program);
        EXPECT_EQ(app_->terminals().size(), before + 1);
        return *last();
    }

    static QStringList shell(const QString& script) { return {"/bin/sh", "-c", script}; }

    ScriptedPrompts* prompts_ = nullptr;
    std::unique_ptr<ApplicationController> app_;
};

TEST_F(Application, ALocalTerminalRunsTheLoginShellAndStaysAfterExit) {
    SessionWindowController& session = openLocal();
    EXPECT_EQ(session.windowTitle(), "Local Terminal — Tarvik");
    ASSERT_TRUE(session.running());
    EXPECT_TRUE(session.statusText().startsWith("Running · "));
    session.terminal().pty().send("echo hi$((40+2))\r");
    EXPECT_TRUE(shows(session, "hi42"));
    session.terminal().pty().send("exit\r");
    EXPECT_TRUE(shows(session, "[Exited: 0]"));
    EXPECT_EQ(session.statusText(), "Exited · 0");
    EXPECT_EQ(app_->terminals().size(), 1u);
}

TEST_F(Application, ANamedRequestTitlesItsTabAndWindow) {
    app_->handleRequest(LaunchRequest{true, "Build", {"/bin/sh", "-c", "echo ok; sleep 30"}});
    ASSERT_EQ(app_->terminals().size(), 1u);
    SessionWindowController& session = *last();
    EXPECT_TRUE(shows(session, "ok"));
    EXPECT_EQ(session.tabTitle(), "Build");
    EXPECT_EQ(app_->frameOf(&session)->windowTitle(), "Build — Tarvik");
    app_->handleRequest(LaunchRequest{});
    EXPECT_EQ(app_->terminals().size(), 1u); // a plain start opens no terminal
}

TEST_F(Application, ASecondSessionJoinsTheNewestFrameAsATab) {
    SessionWindowController& first = openLocal(shell("sleep 30"));
    SessionWindowController& second = openLocal(shell("sleep 30"));
    ASSERT_NE(app_->frameOf(&first), nullptr);
    EXPECT_EQ(app_->frameOf(&first), app_->frameOf(&second));
    EXPECT_EQ(app_->frameOf(&second)->sessionCount(), 2);
}

TEST_F(Application, TitlesFromTheProgramAreCutAtACharacterBoundary) {
    // 99 letters, then a flag (two scalars, one character), then more.
    SessionWindowController& session =
        openLocal(shell("printf '\\033]2;%s\\007' \"$(printf 'a%.0s' $(seq 99))🇩🇪tail\"; sleep 30"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.subtitle().isEmpty(); }, deadline));
    EXPECT_EQ(session.subtitle(), QString(99, 'a') + QString::fromUtf8("🇩🇪"));
    EXPECT_TRUE(app_->frameOf(&session)->windowTitle().endsWith(session.subtitle()));
}

TEST_F(Application, AMissingKeyFileOpensNothing) {
    Connection profile;
    profile.host = "127.0.0.1";
    profile.identityFile = "~/no-such-folder/key";
    app_->open(profile);
    EXPECT_TRUE(app_->terminals().empty());
    ASSERT_EQ(prompts_->errors.size(), 1u);
    EXPECT_EQ(prompts_->errors[0], "File not found: ~/no-such-folder/key");
}

TEST_F(Application, AnInvalidProfileShowsItsMessageAndOpensNothing) {
    Connection profile;
    profile.host = "has space";
    app_->open(profile);
    EXPECT_TRUE(app_->terminals().empty());
    ASSERT_EQ(prompts_->errors.size(), 1u);
}

// A line-echo service on 127.0.0.1 run by the test's own event loop.
class EchoService {
  public:
    EchoService() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    const QByteArray data = socket->readAll();
                    socket->write("echo:" + data);
                    if (data.contains("bye")) socket->disconnectFromHost();
                });
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }

  private:
    QTcpServer server_;
};

Connection rawProfile(quint16 port, ClosePolicy policy) {
    Connection profile;
    profile.name = "echo";
    profile.host = "127.0.0.1";
    profile.port = std::to_string(port);
    profile.protocolKind = ConnectionProtocol::raw;
    profile.closeOnExit = policy;
    return profile;
}

TEST_F(Application, ARawSessionRunsThroughSkiv) {
    EchoService echo;
    app_->open(rawProfile(echo.port(), ClosePolicy::never));
    ASSERT_EQ(app_->terminals().size(), 1u)
        << (prompts_->errors.empty() ? "" : prompts_->errors[0].toStdString());
    SessionWindowController& session = *last();
    EXPECT_EQ(session.statusText(), "Running · Orvel / Skiv 0.85");
    session.terminal().pty().send("ping\r");
    EXPECT_TRUE(shows(session, "echo:ping"));
    session.terminal().pty().send("bye\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.exitCode().has_value(); }, deadline));
    EXPECT_EQ(app_->terminals().size(), 1u); // "never" keeps the tab
}

TEST_F(Application, ClosePoliciesDecideOnTheExitStatus) {
    EchoService echo;
    const quint16 refused = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort(); // released again: nobody listens there
    }();
    struct Case {
        ClosePolicy policy;
        bool clean; // the peer ends the session (status 0) or refuses it (an error status)
        bool closes;
    };
    for (const Case& c : {Case{ClosePolicy::clean, true, true}, Case{ClosePolicy::clean, false, false},
                          Case{ClosePolicy::always, false, true}, Case{ClosePolicy::never, true, false}}) {
        app_->open(rawProfile(c.clean ? echo.port() : refused, c.policy));
        ASSERT_EQ(app_->terminals().size(), 1u);
        SessionWindowController* session = last();
        if (c.clean) session->terminal().pty().send("bye\r");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return app_->terminals().empty() || session->exitCode().has_value(); }, deadline));
        EXPECT_EQ(app_->terminals().empty(), c.closes) << rawValue(c.policy) << " clean=" << c.clean;
        if (!app_->terminals().empty()) {
            EXPECT_EQ(*session->exitCode() == 0, c.clean);
            EXPECT_EQ(session->statusText(), "Exited · " + QString::number(*session->exitCode()));
            EXPECT_TRUE(shows(*session, "[Exited: " + std::to_string(*session->exitCode()) + "]"));
            app_->closeSession(session);
        }
    }
}

TEST_F(Application, DisconnectWithAlwaysClosesTheTabOnceTheChildHasGone) {
    EchoService echo;
    app_->open(rawProfile(echo.port(), ClosePolicy::always));
    ASSERT_EQ(app_->terminals().size(), 1u);
    SessionWindowController& session = *last();
    session.disconnect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return app_->terminals().empty(); }, deadline));
}

TEST_F(Application, TheSessionLogGrowsAcrossSessionsAndIsPrivate) {
    QTemporaryDir folder;
    const QString log = folder.filePath("out.log");
    EchoService echo;
    Connection profile = rawProfile(echo.port(), ClosePolicy::never);
    profile.logFile = log.toStdString();
    for (const char* word : {"one", "two"}) {
        app_->open(profile);
        ASSERT_EQ(app_->terminals().size(), 1u);
        SessionWindowController& session = *last();
        session.terminal().pty().send(std::string(word) + " bye\r");
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.exitCode().has_value(); }, deadline));
        app_->closeSession(&session);
    }
    std::ifstream in(log.toStdString());
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(content.find("echo:one"), std::string::npos);
    EXPECT_NE(content.find("echo:two"), std::string::npos);
    EXPECT_LT(content.find("echo:one"), content.find("echo:two"));
    struct stat info {};
    ::stat(log.toLocal8Bit().constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Application, QuitAsksOnceAndCancelKeepsEverySessionRunning) {
    SessionWindowController& first = openLocal(shell("sleep 60"));
    SessionWindowController& second = openLocal(shell("sleep 60"));
    const pid_t pids[] = {first.terminal().pty().pid(), second.terminal().pty().pid()};
    prompts_->quitAnswers = {false};
    EXPECT_FALSE(app_->confirmQuit());
    EXPECT_EQ(prompts_->quitQuestions, 1);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(second.running());

    prompts_->quitAnswers = {true};
    EXPECT_TRUE(app_->confirmQuit());
    EXPECT_EQ(prompts_->quitQuestions, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first.running() && !second.running(); }, deadline));
    for (pid_t pid : pids)
        EXPECT_NE(::kill(pid, 0), 0) << "child " << pid << " was left behind";
}

TEST_F(Application, QuitWithNoRunningSessionAsksNothing) {
    SessionWindowController& session = openLocal(shell("exit 0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.exitCode().has_value(); }, deadline));
    EXPECT_TRUE(app_->confirmQuit());
    EXPECT_EQ(prompts_->quitQuestions, 0);
}

TEST_F(Application, ReconnectKeepsTheUserNameEnteredAtThePrompt) {
    EchoService echo;
    Connection profile = rawProfile(echo.port(), ClosePolicy::never);
    profile.protocolKind = ConnectionProtocol::SSH;
    profile.orvelEngine = true; // SSH through Skiv asks for a missing user name
    profile.port = std::to_string(echo.port());
    prompts_->userNames = {std::nullopt};
    app_->open(profile);
    EXPECT_TRUE(app_->terminals().empty()); // cancelled: nothing opens

    prompts_->userNames = {QString("zed")};
    app_->open(profile);
    ASSERT_EQ(app_->terminals().size(), 1u);
    EXPECT_EQ(last()->connection()->username, "zed");
    last()->reconnect();
    ASSERT_EQ(app_->terminals().size(), 1u);
    EXPECT_EQ(last()->connection()->username, "zed");
    EXPECT_TRUE(prompts_->userNames.empty()); // not asked again
}

// With the configuration window hidden, the session's frame is the last window:
// a reconnect must not close it on the way and end the application.
TEST_F(Application, ReconnectingTheOnlySessionKeepsTheApplicationRunning) {
    app_->configuration()->hide();
    SessionWindowController& first = openLocal(shell("echo first; sleep 30"));
    ASSERT_TRUE(shows(first, "first"));
    // The application's own loop, as in the program: a quit ends it early.
    QTimer::singleShot(0, [&] { last()->reconnect(); });
    QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7) << "the application quit";
    ASSERT_EQ(app_->terminals().size(), 1u);
    EXPECT_TRUE(app_->frameOf(last())->isVisible());
}

// Ctrl+Page Up/Down move between tabs, though the terminal takes every other key.
TEST_F(Application, ControlPageUpAndDownSwitchTabs) {
    SessionWindowController& first = openLocal(shell("sleep 30"));
    SessionWindowController& second = openLocal(shell("sleep 30"));
    SessionFrame* frame = app_->frameOf(&second);
    frame->show();
    QApplication::setActiveWindow(frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    ASSERT_EQ(frame->currentSession(), &second);
    QWidget* focused = &second.terminal().view();
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(frame->currentSession(), &first);
    QTest::keyClick(&first.terminal().view(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(frame->currentSession(), &second);
}

// A saved SSH session with a key, through skiv, to a throw-away sshd on
// 127.0.0.1 whose key skiv already trusts (in a state folder of the test's own).
TEST_F(Application, ASavedSshSessionWithAKeyJoinsAsASecondTab) {
    if (access(test::Sshd::path, X_OK) != 0) GTEST_SKIP() << test::Sshd::path << " is not installed";
    const std::filesystem::path dir = test::makeTempDir("tarvik-app-sshd-");
    test::run("ssh-keygen -q -t ed25519 -N '' -f " + (dir / "host_key").string());
    test::run("ssh-keygen -q -t ed25519 -N '' -f " + (dir / "user_key").string());
    std::filesystem::copy_file(dir / "user_key.pub", dir / "authorized_keys");
    test::Sshd sshd(dir, dir / "host_key", "PasswordAuthentication no\nKbdInteractiveAuthentication no\n");
    std::string hostKey = test::readFile(dir / "host_key.pub");
    std::ofstream(dir / "known_hosts")
        << "[127.0.0.1]:" << sshd.port() << " " << hostKey.substr(0, hostKey.rfind(' ')) << "\n";
    const QByteArray oldState = qgetenv("ORVELDIR");
    qputenv("ORVELDIR", QByteArray::fromStdString(dir.string()));

    SessionWindowController& local = openLocal(shell("sleep 30"));
    Connection profile;
    profile.name = "throw-away";
    profile.host = "127.0.0.1";
    profile.port = std::to_string(sshd.port());
    profile.username = getpwuid(getuid())->pw_name;
    profile.identityFile = (dir / "user_key").string();
    profile.protocolKind = ConnectionProtocol::SSH;
    profile.orvelEngine = true;
    app_->open(profile);
    ASSERT_EQ(app_->terminals().size(), 2u)
        << (prompts_->errors.empty() ? "" : prompts_->errors[0].toStdString());
    SessionWindowController& remote = *last();
    EXPECT_EQ(app_->frameOf(&remote), app_->frameOf(&local));
    remote.terminal().pty().send("echo remote$((40+2))\r");
    EXPECT_TRUE(shows(remote, "remote42")) << screen(remote);
    remote.disconnect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !remote.running(); }, deadline));
    if (oldState.isNull())
        qunsetenv("ORVELDIR");
    else
        qputenv("ORVELDIR", oldState);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
} // namespace tarvik
