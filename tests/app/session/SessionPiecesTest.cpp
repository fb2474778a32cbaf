// The parts of a session that need no window: the shell, the log, the words shown.

#include "app/session/LocalShell.h"
#include "app/session/SessionLog.h"
#include "app/session/SessionText.h"
#include "core/AppError.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tarvik {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(LocalShell, IsAnAbsoluteExecutableNamedByItsFile) {
    const LocalShell shell = LocalShell::detect();
    ASSERT_FALSE(shell.path.empty());
    EXPECT_EQ(shell.path.front(), '/');
    EXPECT_EQ(::access(shell.path.c_str(), X_OK), 0);
    EXPECT_EQ(LocalShell{"/usr/bin/bash"}.name(), "bash");
}

TEST(SessionLog, IsCreatedPrivateAndAppendedAcrossSessions) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("session.log").toStdString();
    {
        SessionLog log(path);
        log.append(bytes("first\r\n"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    {
        SessionLog log(path);
        log.append(bytes("\x1b[31msecond\r\n"));
    }
    EXPECT_EQ(readAll(path), "first\r\n\x1b[31msecond\r\n");
}

TEST(SessionLog, AnExistingFileKeepsItsPermissionsAndContent) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("kept.log").toStdString();
    std::ofstream(path) << "old";
    ::chmod(path.c_str(), 0640);
    SessionLog(path).append(bytes("+new"));
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(readAll(path), "old+new");
}

TEST(SessionLog, AFolderThatDoesNotExistIsReportedWithTheExpandedPath) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("missing/session.log").toStdString();
    try {
        SessionLog log(path);
        FAIL() << "a log in a missing folder was opened";
    } catch (const AppError& error) {
        EXPECT_EQ(error.message(), "File not found: " + path);
    }
}

TEST(SessionLog, AFullDiskIsReportedAsAnError) {
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    SessionLog log("/dev/full");
    EXPECT_THROW(log.append(bytes("x")), std::system_error);
}

Connection profile(ClosePolicy policy) {
    Connection connection;
    connection.name = "box";
    connection.host = "example.org";
    connection.username = "ann";
    connection.port = "2222";
    connection.closeOnExit = policy;
    return connection;
}

TEST(SessionText, TitlesAddressesAndEngines) {
    EXPECT_EQ(SessionText::windowTitle(std::nullopt), "Local Terminal — Tarvik");
    EXPECT_EQ(SessionText::windowTitle(profile(ClosePolicy::clean)), "box — Tarvik");
    EXPECT_EQ(SessionText::address(std::nullopt, "bash"), "localhost · bash");
    EXPECT_EQ(SessionText::address(profile(ClosePolicy::clean), "bash"), "ann@example.org:2222");
    EXPECT_EQ(SessionText::engineLabel(std::nullopt, "bash"), "bash");
    EXPECT_EQ(SessionText::engineLabel(profile(ClosePolicy::clean), "bash"), "OpenSSH");
    Connection telnet = profile(ClosePolicy::clean);
    telnet.protocolKind = ConnectionProtocol::telnet;
    EXPECT_EQ(SessionText::engineLabel(telnet, "bash"), "Orvel / Skiv 0.85");
}

TEST(SessionText, StatusFollowsTheChild) {
    EXPECT_EQ(SessionText::status(false, std::nullopt, "OpenSSH"), "Exited");
    EXPECT_EQ(SessionText::status(true, std::nullopt, "OpenSSH"), "Running · OpenSSH");
    EXPECT_EQ(SessionText::status(false, 1, "OpenSSH"), "Exited · 1");
    EXPECT_EQ(SessionText::exitBanner(130), "\r\n[Exited: 130]\r\n");
}

TEST(SessionText, ClosePolicies) {
    struct Case {
        std::optional<ClosePolicy> policy; // nothing: a local terminal
        int code;
        bool closes;
    };
    const Case cases[] = {
        {ClosePolicy::always, 0, true}, {ClosePolicy::always, 1, true}, {ClosePolicy::clean, 0, true},
        {ClosePolicy::clean, 1, false}, {ClosePolicy::never, 0, false}, {std::nullopt, 0, false},
    };
    for (const Case& c : cases) {
        std::optional<Connection> connection;
        if (c.policy)
            connection = profile(*c.policy);
        EXPECT_EQ(SessionText::closesOnExit(connection, c.code), c.closes) << c.code;
    }
}

TEST(SessionText, TitlesAreCutBetweenUserPerceivedCharacters) {
    const QString flag = QString::fromUtf8("\U0001F1E9\U0001F1EA"); // two scalars, one character
    const QString accented = QString::fromUtf8("e\u0301");          // e and a combining acute
    QString long_ = QString(99, 'a') + accented + flag;
    EXPECT_EQ(SessionText::cutTitle(long_), QString(99, 'a') + accented);
    const QString flags = flag.repeated(150);
    EXPECT_EQ(SessionText::cutTitle(flags), flag.repeated(100));
    EXPECT_EQ(SessionText::cutTitle("short"), "short");
}

} // namespace
} // namespace tarvik
