#include "app/store/ProfileStore.h"

#include "app/store/ProfileFileLock.h"
#include "core/ConnectionJSON.h"
#include "core/DecodeError.h"
#include "core/Paths.h"
#include "core/ProfileFile.h"
#include "core/SSHConfig.h"

#include <QStandardPaths>
#include <algorithm>
#include <unordered_map>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

namespace fs = std::filesystem;

const ProfileFile::LoadLimits loadLimits{};

// A load failure as the user sees it: which file, and what is wrong with it.
AppError describeLoadFailure(const fs::path& path) {
    const std::string file = path.string();
    try {
        throw;
    } catch (const nlohmann::json::parse_error& e) {
        return AppError(file + ": not valid JSON (error at byte " + std::to_string(e.byte) + ").");
    } catch (const DecodeError& e) {
        return AppError(file + ": " + e.what());
    } catch (const std::system_error& e) {
        return AppError(file + ": " + e.code().message() + ".");
    } catch (const std::exception& e) {
        return AppError(file + ": " + e.what());
    }
}

std::vector<Connection> loadDescribed(const fs::path& path) {
    try {
        return ProfileFile::load(path, loadLimits);
    } catch (...) {
        throw describeLoadFailure(path);
    }
}

bool equalExceptIdentifier(Connection a, const Connection& b) {
    a.id = b.id;
    return a == b;
}

std::string readText(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "Cannot open " + path.string());
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
        if (n == 0 || text.size() > loadLimits.maxBytes) break;
        if (n < 0 && errno != EINTR) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "Cannot read " + path.string());
        }
    }
    ::close(fd);
    if (text.size() > loadLimits.maxBytes)
        throw AppError(path.string() + ": the file is larger than " + std::to_string(loadLimits.maxBytes >> 20) +
                       " MB.");
    return text;
}

} // namespace

fs::path ProfileStore::defaultLocation() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return fs::path(data.toStdString()) / "Tarvik" / "profiles.json";
}

ProfileStore::ProfileStore(fs::path url, QSettings& preferences)
    : url_(std::move(url)), preferences_(preferences) {
    // Stamped before reading: a write landing in between is then seen as a change.
    stamp_ = FileStamp::of(url_);
    try {
        profiles_ = loadDescribed(url_);
    } catch (const AppError& error) {
        loadError_ = error;
    }
}

void ProfileStore::save(const Connection& connection) {
    write([&connection](std::vector<Connection> list) {
        const auto same = std::find_if(list.begin(), list.end(),
                                       [&](const Connection& c) { return c.name == connection.name; });
        if (same != list.end())
            *same = connection;
        else
            list.push_back(connection);
        return list;
    });
}

bool ProfileStore::deleteRow(int row) {
    if (row < 1) return false;
    if (loadError_) throw *loadError_;
    if (static_cast<std::size_t>(row - 1) >= profiles_.size()) return false;
    const Uuid id = profiles_[static_cast<std::size_t>(row - 1)].id;
    write([&id](std::vector<Connection> list) {
        const auto found = std::find_if(list.begin(), list.end(), [&](const Connection& c) { return c.id == id; });
        if (found != list.end()) list.erase(found);
        return list;
    });
    return true;
}

std::vector<Connection> ProfileStore::merged(std::vector<Connection> list, const std::vector<Connection>& imported) {
    // An equal profile has the same identifier, so the identifier index finds
    // every candidate without comparing whole profiles against the whole list.
    std::unordered_multimap<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < list.size(); ++i)
        byId.emplace(list[i].id.text(), i);
    for (Connection profile : imported) {
        const auto [first, last] = byId.equal_range(profile.id.text());
        if (first != last) {
            if (std::any_of(first, last, [&](const auto& entry) { return list[entry.second] == profile; }))
                continue;
            // Already imported once under a fresh identifier: importing the
            // file again must not add another copy.
            if (std::any_of(list.begin(), list.end(), [&](const Connection& c) { return equalExceptIdentifier(c, profile); }))
                continue;
            do
                profile.id = Uuid::random();
            while (byId.contains(profile.id.text()));
        }
        byId.emplace(profile.id.text(), list.size());
        list.push_back(std::move(profile));
    }
    return list;
}

void ProfileStore::importProfiles(const fs::path& file) {
    std::vector<Connection> imported = loadDescribed(file);
    for (Connection& profile : imported)
        profile = profile.validated();
    write([&imported](std::vector<Connection> list) { return merged(std::move(list), imported); });
}

void ProfileStore::exportProfiles(const fs::path& file) const {
    ProfileFile::save(profiles_, file);
}

void ProfileStore::importSSHConfig(const fs::path& configFile) {
    const std::vector<Connection> aliases = SSHConfig::aliases(readText(configFile));
    write([&aliases](std::vector<Connection> list) {
        std::vector<Connection> added;
        for (const Connection& alias : aliases) {
            const auto sameHost = [&](const Connection& c) { return c.host == alias.host; };
            if (std::none_of(list.begin(), list.end(), sameHost)) added.push_back(alias);
        }
        list.insert(list.end(), added.begin(), added.end());
        return list;
    });
}

Connection ProfileStore::defaults() const {
    const QByteArray data = preferences_.value("defaultConnection").toByteArray();
    if (data.isEmpty()) return Connection();
    try {
        return decodeConnection(nlohmann::json::parse(data.begin(), data.end()));
    } catch (const std::exception&) {
        return Connection();
    }
}

void ProfileStore::setDefaults(const Connection& connection) {
    std::string bytes;
    try {
        bytes = encodeConnection(connection).dump();
    } catch (const std::exception&) {
        return;
    }
    preferences_.setValue("defaultConnection", QByteArray::fromStdString(bytes));
}

void ProfileStore::write(const Change& change) {
    if (loadError_) throw *loadError_;
    createPrivateDirectories(url_.parent_path());
    const ProfileFileLock lock(url_);
    removeStaleTemporaries();
    std::vector<Connection> current = FileStamp::of(url_) == stamp_ ? profiles_ : readFile();
    std::vector<Connection> updated = change(std::move(current));
    ProfileFile::save(updated, url_);
    profiles_ = std::move(updated);
    stamp_ = FileStamp::of(url_);
}

std::vector<Connection> ProfileStore::readFile() const {
    return loadDescribed(url_);
}

// A writer killed between creating its temporary file and the rename leaves
// the temporary behind. Only writers holding the lock create them, so while
// the lock is held every one of them is stale.
void ProfileStore::removeStaleTemporaries() const {
    std::error_code error;
    fs::path target = url_;
    if (fs::is_symlink(fs::symlink_status(url_, error))) {
        target = fs::weakly_canonical(url_, error);
        if (error) return;
    }
    const std::string prefix = "." + target.filename().string() + ".";
    for (const auto& entry : fs::directory_iterator(target.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) && entry.is_regular_file(error))
            fs::remove(entry.path(), error);
    }
}

ProfileStore::FileStamp ProfileStore::FileStamp::of(const fs::path& path) {
    struct stat info {};
    FileStamp stamp;
    if (::stat(path.c_str(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    return stamp;
}

bool ProfileStore::FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

} // namespace tarvik
