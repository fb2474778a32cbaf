#include "TemporaryFolder.h"

#include "core/ConnectionJSON.h"
#include "core/DecodeError.h"
#include "core/ProfileFile.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries.push_back(entry.path().filename());
    std::sort(entries.begin(), entries.end());
    return entries;
}

Connection named(const std::string& host) {
    Connection c;
    c.host = host;
    c.name = host;
    return c;
}

// Restores the process umask when the test ends, whatever happens.
class UmaskScope {
  public:
    explicit UmaskScope(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskScope() { ::umask(previous_); }

  private:
    mode_t previous_;
};

TEST(ProfileFile, MissingFileIsAnEmptyListButAnEmptyFileIsAnError) {
    testing::TemporaryFolder folder;
    EXPECT_TRUE(ProfileFile::load(folder / "absent/profiles.json").empty());
    std::ofstream(folder / "empty.json").close();
    EXPECT_THROW(ProfileFile::load(folder / "empty.json"), nlohmann::json::parse_error);
    std::ofstream(folder / "object.json") << R"({"host":"h"})";
    EXPECT_THROW(ProfileFile::load(folder / "object.json"), DecodeError);
    EXPECT_THROW(ProfileFile::load(folder.path()), std::system_error) << "a folder is not a profile file";
}

TEST(ProfileFile, SaveCreatesPrivateFoldersAndFileWhateverTheUmask) {
    testing::TemporaryFolder folder;
    const fs::path file = folder / "a/b/profiles.json";
    const std::vector<Connection> profiles{named("one"), named("two")};
    {
        // A permissive umask must not widen, and a narrow one must not narrow, the modes.
        UmaskScope permissive(0);
        ProfileFile::save(profiles, file);
    }
    EXPECT_EQ(modeOf(folder / "a"), 0700u);
    EXPECT_EQ(modeOf(folder / "a/b"), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(ProfileFile::load(file), profiles);

    const fs::path other = folder / "c/profiles.json";
    {
        UmaskScope narrow(0277);
        ProfileFile::save(profiles, other);
    }
    EXPECT_EQ(modeOf(folder / "c"), 0700u);
    EXPECT_EQ(modeOf(other), 0600u);
}

TEST(ProfileFile, SavedTextIsASortedPrettyArrayWithUpperCaseIds) {
    testing::TemporaryFolder folder;
    Connection c = named("h");
    c.forwards.push_back(ForwardRule{});
    fs::create_directory(folder / "shared");
    ::chmod((folder / "shared").c_str(), 0755);
    ProfileFile::save({c, named("i")}, folder / "shared/p.json");
    EXPECT_EQ(modeOf(folder / "shared"), 0755u) << "an existing folder keeps its mode";

    const std::string text = contents(folder / "shared/p.json");
    const auto document = nlohmann::json::parse(text);
    ASSERT_TRUE(document.is_array());
    ASSERT_EQ(document.size(), 2u);
    for (const auto& object : document)
        EXPECT_EQ(object.size(), 20u);
    // The parsed document orders keys by code point, so re-printing it gives
    // the same text only if the file was already sorted and indented.
    EXPECT_EQ(text, document.dump(2) + "\n");
    EXPECT_NE(text.find(c.forwards[0].id.text()), std::string::npos);
    EXPECT_NE(text.find(c.id.text()), std::string::npos);
}

class FailedSave : public ::testing::Test {
  protected:
    void SetUp() override {
        ProfileFile::save({named("old")}, file);
        before = contents(file);
        ASSERT_FALSE(before.empty());
    }
    void expectUntouched() {
        EXPECT_EQ(contents(file), before);
        EXPECT_EQ(entriesOf(folder.path()), std::vector<fs::path>{"profiles.json"})
            << "no temporary file left";
    }

    testing::TemporaryFolder folder;
    fs::path file = folder / "profiles.json";
    std::string before;
};

// Root ignores permission bits, so the write is made to fail through the
// file-size limit, which binds every user.
TEST_F(FailedSave, WriteErrorLeavesOldFileAndNoTemporary) {
    std::vector<Connection> many(50, named("new"));
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(ProfileFile::save(many, file), std::system_error);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    expectUntouched();
}

TEST_F(FailedSave, UnencodableTextWritesNothing) {
    Connection bad = named("new");
    bad.name = "broken \xC3";
    EXPECT_THROW(ProfileFile::save({bad}, file), nlohmann::json::type_error);
    expectUntouched();
}

TEST_F(FailedSave, TargetThatIsAFolderIsNotReplaced) {
    fs::remove(file);
    fs::create_directory(file);
    std::ofstream(file / "inside") << "keep";
    EXPECT_THROW(ProfileFile::save({named("new")}, file), std::system_error);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(contents(file / "inside"), "keep");
    EXPECT_EQ(entriesOf(folder.path()), std::vector<fs::path>{"profiles.json"});
}

TEST_F(FailedSave, ParentThatIsAFileStopsBeforeWriting) {
    EXPECT_THROW(ProfileFile::save({named("new")}, file / "nested.json"), fs::filesystem_error);
    expectUntouched();
}

} // namespace
} // namespace tarvik
