#pragma once

#include "app/settings/Preferences.h"
#include "core/AppError.h"
#include "core/Connection.h"

#include <QSettings>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace tarvik {

// The saved profiles, kept in one JSON file, and the "Default Settings"
// profile, kept in the preferences.
//
// The file is never lost or half-written: a failed start-up load makes the
// store read-only for the run (the broken file is never replaced), every
// write goes through a temporary file and a rename, and the list in memory
// changes only after a write succeeded. Writers of the same file (another
// running Tarvik, a hand edit) are not overwritten blindly: each write takes
// a lock beside the file and, when the file changed since this store last
// read or wrote it, applies its change to the list on disk instead.
class ProfileStore {
  public:
    // $XDG_DATA_HOME/Tarvik/profiles.json, default ~/.local/share/Tarvik/profiles.json.
    static std::filesystem::path defaultLocation();

    explicit ProfileStore(std::filesystem::path url = defaultLocation(),
                          QSettings& preferences = Preferences::shared());

    const std::vector<Connection>& profiles() const { return profiles_; }
    // The start-up load failure, naming the file and what is wrong with it.
    const std::optional<AppError>& loadError() const { return loadError_; }
    const std::filesystem::path& url() const { return url_; }

    // Replaces the first profile with the same name, or appends.
    void save(const Connection& connection);
    // Row of the saved-sessions list: row 0 is "Default Settings" and row
    // i + 1 shows profiles()[i]. Returns false, changing nothing, when the row
    // names no profile. The profile is found again by its identifier when the
    // file changed underneath.
    bool deleteRow(int row);
    // Merges a profile file: every profile is validated first (one invalid
    // profile imports nothing), an equal profile is skipped, and a profile
    // whose identifier is taken gets a fresh one. Never matched by name. A
    // profile already imported once under a fresh identifier (equal in all but
    // the identifier) is skipped too, so importing a file twice adds nothing.
    void importProfiles(const std::filesystem::path& file);
    // Writes the saved profiles (not the defaults) to a file.
    void exportProfiles(const std::filesystem::path& file) const;
    // Appends the Host aliases of an OpenSSH configuration file whose host is
    // not yet the host of a stored profile.
    void importSSHConfig(const std::filesystem::path& configFile);

    // The "defaultConnection" preference; a default profile when it is absent
    // or does not decode.
    Connection defaults() const;
    // Stores nothing when the profile cannot be encoded.
    void setDefaults(const Connection& connection);

    // The merge step of an import, on its own.
    static std::vector<Connection> merged(std::vector<Connection> list, const std::vector<Connection>& imported);

  private:
    // What identifies one version of the file on disk.
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        static FileStamp of(const std::filesystem::path& path);
        bool operator==(const FileStamp& other) const;
    };

    using Change = std::function<std::vector<Connection>(std::vector<Connection>)>;
    // Applies change to the current list under the lock and writes the result.
    void write(const Change& change);
    std::vector<Connection> readFile() const;
    void removeStaleTemporaries() const;

    std::filesystem::path url_;
    QSettings& preferences_;
    std::vector<Connection> profiles_;
    std::optional<AppError> loadError_;
    FileStamp stamp_;
};

} // namespace tarvik
