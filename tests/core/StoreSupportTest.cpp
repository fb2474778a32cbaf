#include "TemporaryFolder.h"

#include "core/Paths.h"
#include "core/StoreSupport.h"

#include <BuildInfo.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

TEST(StoreSupport, OrdinaryDistributionAddsNothingAndCreatesNothing) {
    if (BuildInfo::storeDistribution) GTEST_SKIP() << "store build";
    const fs::path privateFolder = homeDirectory() / ".ssh";
    const bool existed = fs::exists(privateFolder);
    EXPECT_FALSE(StoreSupport::enabled());
    EXPECT_TRUE(StoreSupport::sshArgumentsPrefix().empty());
    EXPECT_EQ(fs::exists(privateFolder), existed);
}

// The shell's grant service as the store distribution sees it: a remembered
// folder that either resolves to a location or does not.
class RememberedFolder : public SandboxAccess {
  public:
    RememberedFolder(std::string folder, std::optional<fs::path> location)
        : folder_(std::move(folder)), location_(std::move(location)) {}
    std::optional<std::string> sshDirectory() const override { return folder_; }
    std::optional<fs::path> resolve(const std::string& path) override {
        resolved_ = path;
        return location_;
    }
    std::string resolved_;

  private:
    std::string folder_;
    std::optional<fs::path> location_;
};

TEST(StoreSupport, SandboxedOptionsKeepKnownHostsInThePrivateFolder) {
    testing::TemporaryFolder home;
    SandboxAccess nothingGranted;
    const std::vector<std::string> expected{"-F", "/dev/null", "-o",
                                            "UserKnownHostsFile=" + (home / ".ssh/known_hosts").string()};
    EXPECT_EQ(StoreSupport::sandboxedSshArguments(home.path(), nothingGranted), expected);
    struct stat info {};
    ASSERT_EQ(::stat((home / ".ssh").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    RememberedFolder declined("/home/ann/.ssh", std::nullopt);
    EXPECT_EQ(StoreSupport::sandboxedSshArguments(home.path(), declined), expected);
    EXPECT_EQ(declined.resolved_, "/home/ann/.ssh");

    RememberedFolder granted("/home/ann/.ssh", fs::path("/granted/ssh"));
    const auto args = StoreSupport::sandboxedSshArguments(home.path(), granted);
    EXPECT_EQ(args[1], "/granted/ssh/config");
    EXPECT_EQ(args[3], expected[3]) << "known hosts never go to the user's folder";
}

TEST(StoreSupport, PrivateFolderThatCannotBeCreatedIsAnError) {
    testing::TemporaryFolder folder;
    std::ofstream(folder / "home") << "a file, not a folder";
    SandboxAccess nothingGranted;
    EXPECT_THROW(StoreSupport::sandboxedSshArguments(folder / "home", nothingGranted), fs::filesystem_error);
}

} // namespace
} // namespace tarvik
