#include "StoreTestSupport.h"

#include "app/store/ProfileStore.h"
#include "core/ProfileFile.h"

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvik {
namespace {

using testing::contents;
using testing::StoreFolder;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<Connection> manyProfiles(const std::string& prefix, int count) {
    std::vector<Connection> list;
    for (int i = 0; i < count; ++i) {
        Connection c = testing::profile(prefix + std::to_string(i));
        c.username = "user" + std::to_string(i % 17);
        c.forwards.push_back({Uuid::random(), ForwardKind::local, "8080:localhost:" + std::to_string(1000 + i)});
        list.push_back(c);
    }
    return list;
}

// A child process that imports a file into the store it inherits (already
// loaded, so the child goes straight to the write) and ends.
pid_t startImport(ProfileStore& store, const fs::path& file) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            store.importProfiles(file);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    return pid;
}

// A child imports 500 profiles into a file holding 1500 and is killed with
// SIGKILL at a random moment of its write. Whatever the moment, the file is
// byte for byte the old list or the new one, and the next writer finds no
// lock held and no temporary file left. The folder is on tmpfs where there is
// one: a kill is not a power loss, and the disk's sync time would only slow
// the trials down.
TEST(ProfileStoreCrash, KilledWriterLeavesTheOldOrTheNewListNeverAMixture) {
    StoreFolder folder(QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath());
    const fs::path url = folder / "profiles.json";
    ProfileFile::save(manyProfiles("old", 1500), url);
    ProfileFile::save(manyProfiles("new", 500), folder / "import.json");
    // The original file stays reachable under a second name; linking it back
    // restores exactly the file (same inode and time) the store has read.
    fs::create_hard_link(url, folder / "original.json");
    const auto restore = [&] {
        fs::remove(url);
        fs::create_hard_link(folder / "original.json", url);
    };
    ProfileStore store(url, folder.preferences());
    ASSERT_FALSE(store.loadError());
    const std::string oldBytes = contents(url);

    // One undisturbed run gives the new file and how long the write takes.
    const auto start = Clock::now();
    const pid_t calibration = startImport(store, folder / "import.json");
    int status = 0;
    ASSERT_EQ(::waitpid(calibration, &status, 0), calibration);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const Clock::duration writeTime = Clock::now() - start;
    const std::string newBytes = contents(url);
    ASSERT_EQ(ProfileFile::load(url).size(), 2000u);

    std::mt19937 random(20240611);
    // The first third of a write only encodes in memory; the moments favour
    // the file work that follows without leaving out either end.
    std::uniform_real_distribution<double> moment(0.2, 1.15);
    int trials = 0, old = 0, replaced = 0;
    // At least a hundred kills: with writes of a few hundred milliseconds a
    // time budget alone would stop at a handful.
    const auto budget = Clock::now() + std::chrono::seconds(10);
    while (trials < 1000 && (trials < 100 || Clock::now() < budget)) {
        restore();
        const pid_t child = startImport(store, folder / "import.json");
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::duration_cast<Clock::duration>(writeTime * moment(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ++trials;
        const std::string found = contents(url);
        if (found == oldBytes)
            ++old;
        else if (found == newBytes)
            ++replaced;
        else
            FAIL() << "trial " << trials << ": the file is neither list (" << found.size() << " bytes)";
    }
    std::printf("crash-safety trials: %d (old list %d, new list %d; one write takes %lld ms)\n", trials, old, replaced,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(writeTime).count()));
    RecordProperty("trials", trials);
    EXPECT_GT(old, 0) << "no kill landed before the rename";
    EXPECT_GT(replaced, 0) << "no kill landed after the rename";

    ProfileStore next(url, folder.preferences());
    next.save(testing::profile("after the crashes"));
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.starts_with(".profiles.json.") && name != ".profiles.json.lock") << name << " left behind";
    }
}

} // namespace
} // namespace tarvik
