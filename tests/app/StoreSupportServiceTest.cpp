#include "StoreTestSupport.h"

#include "app/store/FileGrant.h"
#include "app/store/StoreSupportService.h"
#include "core/Paths.h"

#include <QVariantMap>
#include <deque>

namespace tarvik {
namespace {

using testing::StoreFolder;
namespace fs = std::filesystem;

// Answers the panels from a script and records what was asked.
class ScriptedChooser : public FileChooser {
  public:
    std::deque<std::optional<fs::path>> answers;
    std::vector<std::string> asked;

    std::optional<fs::path> openFile(const QString& title) override { return answer("open " + title); }
    std::optional<fs::path> saveFile(const QString& title, const QString& proposed) override {
        return answer("save " + title + " as " + proposed);
    }
    std::optional<fs::path> chooseFolder(const QString& title) override { return answer("folder " + title); }

  private:
    std::optional<fs::path> answer(const QString& question) {
        asked.push_back(question.toStdString());
        if (answers.empty()) return std::nullopt;
        auto next = answers.front();
        answers.pop_front();
        return next;
    }
};

StoreSupportOptions store(const fs::path& home) {
    return {true, home};
}

TEST(StoreSupportService, OrdinaryDistributionPassesEverythingThrough) {
    StoreFolder folder;
    ScriptedChooser chooser;
    StoreSupportService service(chooser, folder.preferences(), {false, folder / "home"});
    EXPECT_FALSE(service.enabled());
    EXPECT_EQ(service.authorize("~/.ssh/id_ed25519", false), "~/.ssh/id_ed25519");
    EXPECT_EQ(service.authorize("logs/session.log", true), "logs/session.log");
    EXPECT_EQ(service.resolve("~/.ssh/id_ed25519"), fs::path(expandTilde("~/.ssh/id_ed25519")));
    EXPECT_EQ(service.resolve("~/.ssh/id_ed25519")->string().front(), '/');
    service.remember(folder / "key", false);
    EXPECT_TRUE(service.sshArgumentsPrefix().empty());
    EXPECT_EQ(service.sshConfigForImport(), folder / "home/.ssh/config");
    EXPECT_TRUE(chooser.asked.empty()) << "no panel in the ordinary distribution";
    EXPECT_FALSE(folder.preferences().contains("securityScopedFiles"));
    EXPECT_FALSE(fs::exists(folder / "home/.ssh"));
}

TEST(StoreSupportService, AGrantedKeyOpensWithoutAPanelAlsoAfterARestart) {
    StoreFolder folder;
    const fs::path key = folder / "id_ed25519";
    testing::write(key, "key");
    {
        ScriptedChooser chooser;
        chooser.answers = {key};
        StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
        EXPECT_EQ(service.authorize(key.string(), false), key.string());
        EXPECT_EQ(chooser.asked, std::vector<std::string>{"open Private key file for authentication"});
        EXPECT_EQ(service.authorize(key.string(), false), key.string());
        EXPECT_EQ(chooser.asked.size(), 1u) << "no second panel in the same run";
        EXPECT_EQ(service.active().count(key.string()), 1u);
        const QVariantMap write = folder.preferences().value("securityScopedWriteAccess").toMap();
        EXPECT_EQ(write.value(QString::fromStdString(key.string())), QVariant(false));
    }
    ScriptedChooser afterRestart;
    StoreSupportService service(afterRestart, folder.preferences(), store(folder / "home"));
    EXPECT_TRUE(service.active().empty());
    EXPECT_EQ(service.authorize(key.string(), false), key.string());
    EXPECT_TRUE(afterRestart.asked.empty());
    service.close();
    EXPECT_TRUE(service.active().empty());
}

TEST(StoreSupportService, AStaleGrantIsRenewedWithItsRecordedWritePermission) {
    StoreFolder folder;
    const fs::path log = folder / "session.log";
    ScriptedChooser chooser;
    chooser.answers = {log};
    {
        StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
        EXPECT_EQ(service.authorize(log.string(), true), log.string()) << "a log that does not exist yet";
        EXPECT_EQ(chooser.asked, std::vector<std::string>{"save Session output log (optional) as session.log"});
    }
    const QString key = QString::fromStdString(log.string());
    const QByteArray first = folder.preferences().value("securityScopedFiles").toMap().value(key).toByteArray();
    testing::write(log, "output");  // the file now has an inode the grant did not record
    EXPECT_TRUE(FileGrant::resolve(first).stale);

    StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
    EXPECT_EQ(service.resolve(log.string()), log);
    const QByteArray renewed = folder.preferences().value("securityScopedFiles").toMap().value(key).toByteArray();
    EXPECT_NE(renewed, first);
    EXPECT_FALSE(FileGrant::resolve(renewed).stale);
    EXPECT_TRUE(FileGrant::allowsWriting(renewed));
    EXPECT_EQ(folder.preferences().value("securityScopedWriteAccess").toMap().value(key), QVariant(true));
    EXPECT_EQ(chooser.asked.size(), 1u);
}

TEST(StoreSupportService, ChoosingAnotherFileMakesTheSessionUseIt) {
    StoreFolder folder;
    const fs::path chosen = folder / "other_key";
    testing::write(chosen, "key");
    ScriptedChooser chooser;
    chooser.answers = {chosen, std::nullopt};
    StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
    EXPECT_EQ(service.authorize("/elsewhere/id_rsa", false), chosen.string());
    EXPECT_EQ(service.authorize(chosen.string(), false), chosen.string());
    EXPECT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(service.authorize("/elsewhere/id_rsa", false), std::nullopt) << "declined";
    EXPECT_EQ(chooser.asked.size(), 2u);
}

TEST(StoreSupportService, UnusableGrantsAskAgainAndBrokenOnesAreErrors) {
    StoreFolder folder;
    fs::create_directories(folder / "keys");
    const fs::path key = folder / "keys/id";
    testing::write(key, "key");
    ScriptedChooser chooser;
    chooser.answers = {key};
    {
        StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
        ASSERT_TRUE(service.authorize(key.string(), false));
    }
    fs::remove_all(folder / "keys");
    StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
    EXPECT_EQ(service.resolve(key.string()), std::nullopt) << "the file and its folder are gone";
    EXPECT_EQ(service.authorize(key.string(), false), std::nullopt);
    EXPECT_EQ(chooser.asked.size(), 2u);
    EXPECT_THROW(service.remember(folder / "keys/id", false), fs::filesystem_error);

    QVariantMap grants;
    grants.insert("/broken", QByteArray("not a grant"));
    folder.preferences().setValue("securityScopedFiles", grants);
    EXPECT_THROW(service.resolve("/broken"), std::invalid_argument);
}

TEST(StoreSupportService, SshFolderChosenForImportFeedsTheOpenSSHOptions) {
    StoreFolder folder;
    fs::create_directories(folder / "my-ssh");
    ScriptedChooser chooser;
    chooser.answers = {folder / "my-ssh", std::nullopt};
    StoreSupportService service(chooser, folder.preferences(), store(folder / "home"));
    const std::string knownHosts = "UserKnownHostsFile=" + (folder / "home/.ssh/known_hosts").string();
    EXPECT_EQ(service.sshArgumentsPrefix(), (std::vector<std::string>{"-F", "/dev/null", "-o", knownHosts}));

    EXPECT_EQ(service.sshConfigForImport(), folder / "my-ssh/config");
    EXPECT_EQ(chooser.asked, std::vector<std::string>{"folder Choose your SSH folder"});
    EXPECT_EQ(folder.preferences().value("sshDirectory").toString().toStdString(), (folder / "my-ssh").string());
    EXPECT_EQ(service.sshArgumentsPrefix(),
              (std::vector<std::string>{"-F", (folder / "my-ssh/config").string(), "-o", knownHosts}));

    StoreSupportService restarted(chooser, folder.preferences(), store(folder / "home"));
    EXPECT_EQ(restarted.sshArgumentsPrefix()[1], (folder / "my-ssh/config").string());
    EXPECT_EQ(restarted.sshConfigForImport(), std::nullopt) << "declined panel";
}

TEST(FileGrant, BytesRecordThePathAndItsInode) {
    StoreFolder folder;
    const fs::path file = folder / "name\nwith line feed";
    testing::write(file, "x");
    const QByteArray grant = FileGrant::create(file, false);
    const auto resolved = FileGrant::resolve(grant);
    EXPECT_EQ(resolved.location, file);
    EXPECT_FALSE(resolved.stale);
    EXPECT_FALSE(FileGrant::allowsWriting(grant));
    testing::write(folder / "replacement", "replaced");
    fs::rename(folder / "replacement", file);  // a new inode at the same path
    EXPECT_TRUE(FileGrant::resolve(grant).stale);
    for (const char* bad : {"", "tarvik-file-grant 1\n1 2 1\n", "tarvik-file-grant 1\n1 x 0\n/a", "other\n1 2 0\n/a",
                            "tarvik-file-grant 1\n1 2 5\n/a"})
        EXPECT_THROW(FileGrant::resolve(QByteArray(bad)), std::invalid_argument) << bad;
    EXPECT_THROW(FileGrant::create(folder / "no/such/folder/file", false), fs::filesystem_error);
}

} // namespace
} // namespace tarvik
