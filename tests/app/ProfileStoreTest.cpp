#include "StoreTestSupport.h"

#include "app/store/ProfileFileLock.h"
#include "app/store/ProfileStore.h"
#include "core/ProfileFile.h"

#include <QStandardPaths>
#include <sys/stat.h>

namespace tarvik {
namespace {

using testing::contents;
using testing::profile;
using testing::StoreFolder;
namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<Connection>& list) {
    std::vector<std::string> result;
    for (const Connection& c : list)
        result.push_back(c.name);
    return result;
}

TEST(ProfileStore, DefaultLocationIsUnderTheDataFolder) {
    const fs::path expected = fs::path(qEnvironmentVariable("XDG_DATA_HOME").toStdString()) / "Tarvik/profiles.json";
    EXPECT_EQ(ProfileStore::defaultLocation(), expected);
}

TEST(ProfileStore, FirstStartWithoutAFileIsEmptyAndTheFirstSaveCreatesIt) {
    StoreFolder folder;
    const fs::path url = folder / "Tarvik/profiles.json";
    ProfileStore store(url, folder.preferences());
    EXPECT_TRUE(store.profiles().empty());
    EXPECT_FALSE(store.loadError());
    EXPECT_FALSE(fs::exists(url));

    store.save(profile("web"));
    EXPECT_EQ(ProfileFile::load(url), store.profiles());
    struct stat info {};
    ASSERT_EQ(::stat(url.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(fs::exists(ProfileFileLock::lockFileFor(url)));
}

TEST(ProfileStore, SaveReplacesTheFirstProfileOfThatNameInPlace) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    for (const char* name : {"a", "b", "c"})
        store.save(profile(name));
    Connection changed = profile("b", "changed.example.org");
    store.save(changed);
    store.save(profile("d"));
    EXPECT_EQ(names(store.profiles()), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(store.profiles()[1], changed);
    EXPECT_EQ(ProfileFile::load(store.url()), store.profiles());
}

TEST(ProfileStore, DeleteByRowWhereRowZeroIsTheDefaults) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    for (const char* name : {"a", "b", "c"})
        store.save(profile(name));
    EXPECT_FALSE(store.deleteRow(0));
    EXPECT_FALSE(store.deleteRow(4));
    EXPECT_FALSE(store.deleteRow(-1));
    EXPECT_TRUE(store.deleteRow(2));
    EXPECT_EQ(names(store.profiles()), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ProfileFile::load(store.url()), store.profiles());
}

TEST(ProfileStore, ImportMergesByIdentityNeverByName) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    store.save(profile("web"));
    const Connection stored = store.profiles()[0];

    Connection sameIdOtherContent = stored;  // same id and even the same name
    sameIdOtherContent.port = "2222";
    const Connection fresh = profile("db");
    ProfileFile::save({stored, sameIdOtherContent, fresh, fresh}, folder / "import.json");

    store.importProfiles(folder / "import.json");
    ASSERT_EQ(names(store.profiles()), (std::vector<std::string>{"web", "web", "db"}))
        << "the equal profile and the duplicate inside the file are skipped";
    EXPECT_EQ(store.profiles()[0], stored);
    EXPECT_NE(store.profiles()[1].id, stored.id) << "re-identified";
    EXPECT_EQ(store.profiles()[1].port, "2222");
    EXPECT_EQ(store.profiles()[2], fresh);

    const auto afterFirst = store.profiles();
    store.importProfiles(folder / "import.json");
    EXPECT_EQ(store.profiles(), afterFirst) << "importing the same file again adds nothing";
    EXPECT_EQ(ProfileFile::load(store.url()), afterFirst);
}

TEST(ProfileStore, OneInvalidProfileImportsNothing) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    store.save(profile("web"));
    Connection badPort = profile("bad");
    badPort.port = "70000";
    ProfileFile::save({profile("good"), badPort, profile("late")}, folder / "import.json");
    const std::string before = contents(store.url());
    try {
        store.importProfiles(folder / "import.json");
        FAIL() << "import succeeded";
    } catch (const AppError& error) {
        EXPECT_EQ(error.message(), "Port must be a number from 1 to 65535.");
    }
    EXPECT_EQ(names(store.profiles()), std::vector<std::string>{"web"});
    EXPECT_EQ(contents(store.url()), before);
}

TEST(ProfileStore, ImportedProfilesAreStoredInTheirValidatedForm) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    Connection padded = profile("padded", "  padded.example.org ");
    ProfileFile::save({padded}, folder / "import.json");
    store.importProfiles(folder / "import.json");
    ASSERT_EQ(store.profiles().size(), 1u);
    EXPECT_EQ(store.profiles()[0], padded.validated());
}

// A broken file at start-up is never replaced: every write reports the
// start-up error, which names the file and the fault.
TEST(ProfileStore, BrokenFileAtStartUpMakesTheStoreReadOnly) {
    const struct {
        const char* text;
        const char* fault;
    } cases[] = {
        {"this is not JSON", "not valid JSON"},
        {"{\"host\": \"web\"}", "must be a JSON array"},
        {"[{\"host\": \"web\", \"port\": 22}]", "\"port\" must be a string"},
        {"[{\"name\": \"no host\"}]", "\"host\" is missing"},
        {"", "not valid JSON"},
    };
    for (const auto& c : cases) {
        StoreFolder folder;
        const fs::path url = folder / "profiles.json";
        testing::write(url, c.text);
        ProfileStore store(url, folder.preferences());
        ASSERT_TRUE(store.loadError()) << c.text;
        const std::string message = store.loadError()->message();
        EXPECT_NE(message.find(url.string()), std::string::npos) << message;
        EXPECT_NE(message.find(c.fault), std::string::npos) << message;
        EXPECT_TRUE(store.profiles().empty());

        ProfileFile::save({profile("good")}, folder / "import.json");
        const auto refused = [&](auto operation) {
            try {
                operation();
            } catch (const AppError& error) {
                return error.message() == message;
            }
            return false;
        };
        EXPECT_TRUE(refused([&] { store.save(profile("x")); })) << c.text;
        EXPECT_TRUE(refused([&] { store.deleteRow(1); })) << c.text;
        EXPECT_TRUE(refused([&] { store.importProfiles(folder / "import.json"); })) << c.text;
        EXPECT_EQ(contents(url), c.text) << "the broken file is never replaced";
        EXPECT_TRUE(store.profiles().empty());
    }
}

TEST(ProfileStore, HugeOrDeeplyNestedImportsFailClearly) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    store.save(profile("web"));

    const fs::path huge = folder / "huge.json";
    testing::write(huge, "[");
    fs::resize_file(huge, 100u << 20);  // sparse: 100 MB without writing them
    const fs::path deep = folder / "deep.json";
    testing::write(deep, std::string(200000, '[') + std::string(200000, ']'));

    const struct {
        fs::path file;
        const char* fault;
    } cases[] = {{huge, "larger than 16 MB"}, {deep, "nested deeper than"}};
    for (const auto& c : cases) {
        try {
            store.importProfiles(c.file);
            ADD_FAILURE() << c.file << " imported";
        } catch (const AppError& error) {
            EXPECT_NE(error.message().find(c.fault), std::string::npos) << error.message();
            EXPECT_NE(error.message().find(c.file.string()), std::string::npos) << error.message();
        }
        EXPECT_EQ(names(store.profiles()), std::vector<std::string>{"web"});
    }
}

TEST(ProfileStore, ExportWritesTheSavedProfilesOnly) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    store.exportProfiles(folder / "empty.json");
    EXPECT_EQ(contents(folder / "empty.json"), "[]\n");

    store.setDefaults(profile("defaults"));
    store.save(profile("a"));
    store.save(profile("b"));
    store.exportProfiles(folder / "two.json");
    EXPECT_EQ(ProfileFile::load(folder / "two.json"), store.profiles());
}

TEST(ProfileStore, DefaultsLiveInThePreferences) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    EXPECT_EQ(store.defaults().host, "");
    EXPECT_EQ(store.defaults().port, "22");

    Connection defaults = profile("Default Settings", "base.example.org");
    defaults.compression = true;
    store.setDefaults(defaults);
    EXPECT_EQ(store.defaults(), defaults);
    EXPECT_TRUE(folder.preferences().value("defaultConnection").typeId() == QMetaType::QByteArray);
    EXPECT_EQ(ProfileStore(folder / "profiles.json", folder.preferences()).defaults(), defaults);

    Connection unencodable = defaults;
    unencodable.name = "\xff\xfe";  // not UTF-8
    store.setDefaults(unencodable);
    EXPECT_EQ(store.defaults(), defaults) << "nothing stored";

    for (const char* bad : {"not json", "{\"port\": 22}", "[]"}) {
        folder.preferences().setValue("defaultConnection", QByteArray(bad));
        EXPECT_EQ(store.defaults().host, "") << bad;
        EXPECT_EQ(store.defaults().port, "22") << bad;
    }
}

// Two running programs on one file: neither discards the other's profiles.
TEST(ProfileStore, TwoStoresSavingInTurnKeepBoth) {
    StoreFolder folder;
    const fs::path url = folder / "profiles.json";
    ProfileStore first(url, folder.preferences());
    ProfileStore second(url, folder.preferences());
    first.save(profile("a"));
    second.save(profile("b"));
    first.save(profile("c"));
    second.save(profile("a", "moved.example.org"));
    EXPECT_EQ(names(ProfileFile::load(url)), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ProfileFile::load(url)[0].host, "moved.example.org");
    EXPECT_EQ(first.profiles().size(), 3u);

    ASSERT_TRUE(first.deleteRow(2));  // "b", found again by its identifier
    EXPECT_EQ(names(ProfileFile::load(url)), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ProfileFile::load(url)[0].host, "moved.example.org");

    ProfileFile::save({profile("z")}, folder / "import.json");
    second.importProfiles(folder / "import.json");
    EXPECT_EQ(names(ProfileFile::load(url)), (std::vector<std::string>{"a", "c", "z"}));
}

TEST(ProfileStore, AFileThatBrokeAfterStartUpRefusesTheWriteAndStaysAsItIs) {
    StoreFolder folder;
    const fs::path url = folder / "profiles.json";
    ProfileStore store(url, folder.preferences());
    store.save(profile("a"));
    testing::write(url, "[{\"host\": ");  // a hand edit gone wrong
    EXPECT_THROW(store.save(profile("b")), AppError);
    EXPECT_EQ(contents(url), "[{\"host\": ");
    EXPECT_EQ(names(store.profiles()), std::vector<std::string>{"a"});
    EXPECT_FALSE(store.loadError()) << "only the start-up load makes the store read-only";
}

TEST(ProfileStore, ALinkedProfileFileIsWrittenThroughToItsTarget) {
    StoreFolder folder;
    fs::create_directories(folder / "synced");
    const fs::path target = folder / "synced/profiles.json";
    const fs::path url = folder / "profiles.json";
    ProfileFile::save({profile("a")}, target);
    fs::create_symlink("synced/profiles.json", url);

    ProfileStore store(url, folder.preferences());
    store.save(profile("b"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(url)));
    EXPECT_EQ(names(ProfileFile::load(target)), (std::vector<std::string>{"a", "b"}));
}

TEST(ProfileStore, TemporariesLeftByAKilledWriterAreRemovedOnTheNextWrite) {
    StoreFolder folder;
    const fs::path url = folder / "profiles.json";
    testing::write(folder / ".profiles.json.Ab12Cd", "[{\"host\"");
    testing::write(folder / ".profiles.json.keep-me-longer", "x");
    ProfileStore store(url, folder.preferences());
    store.save(profile("a"));
    EXPECT_FALSE(fs::exists(folder / ".profiles.json.Ab12Cd"));
    EXPECT_TRUE(fs::exists(folder / ".profiles.json.keep-me-longer"));
}

TEST(ProfileStore, SSHConfigImportSkipsStoredHosts) {
    StoreFolder folder;
    ProfileStore store(folder / "profiles.json", folder.preferences());
    store.save(profile("mine", "db"));
    testing::write(folder / "config", "Host web db\n  HostName 10.0.0.1\nHost *\nHost cache\n");
    store.importSSHConfig(folder / "config");
    EXPECT_EQ(names(store.profiles()), (std::vector<std::string>{"mine", "web", "cache"}));
    store.importSSHConfig(folder / "config");
    EXPECT_EQ(store.profiles().size(), 3u) << "importing twice adds nothing";
    EXPECT_THROW(store.importSSHConfig(folder / "missing"), std::system_error);
    EXPECT_EQ(store.profiles().size(), 3u);
}

} // namespace
} // namespace tarvik
