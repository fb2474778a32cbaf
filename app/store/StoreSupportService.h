#pragma once

#include "app/settings/Preferences.h"
#include "app/store/FileChooser.h"
#include "core/Paths.h"
#include "core/StoreSupport.h"

#include <QSettings>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

struct StoreSupportOptions {
    // The build's distribution; tests choose either.
    bool enabled = StoreSupport::enabled();
    // Where the private ssh folder of the store distribution goes.
    std::filesystem::path home = homeDirectory();
};

// Access to files the user chose. In the store distribution every such path
// (key file, session log, ssh folder) needs a persistent grant, kept in the
// preferences "securityScopedFiles" (path -> grant bytes) and
// "securityScopedWriteAccess" (path -> whether the grant allows writing);
// in the ordinary distribution every operation passes the path through.
class StoreSupportService : public SandboxAccess {
  public:
    StoreSupportService(FileChooser& chooser, QSettings& preferences = Preferences::shared(),
                        StoreSupportOptions options = {});
    ~StoreSupportService() override;
    StoreSupportService(const StoreSupportService&) = delete;
    StoreSupportService& operator=(const StoreSupportService&) = delete;

    bool enabled() const { return options_.enabled; }

    // A usable location for path: the path with "~" expanded in the ordinary
    // distribution; a location in use or a stored grant otherwise (a stale
    // grant is renewed with its recorded write permission); nothing when no
    // usable grant exists. Throws on grant bytes that cannot be resolved.
    std::optional<std::filesystem::path> resolve(const std::string& path) override;

    // Grants a location the user chose and keeps it in use until close().
    // Nothing happens in the ordinary distribution.
    void remember(const std::filesystem::path& location, bool writing);

    // The path to use for a user-chosen file: path itself in the ordinary
    // distribution, else a granted location, else whatever the user picks in
    // a panel (which may be another file); nothing when the user declines.
    std::optional<std::string> authorize(const std::string& path, bool writing);

    // Stops using every location in use.
    void close();

    // OpenSSH options that precede a profile's own.
    std::vector<std::string> sshArgumentsPrefix();

    // The OpenSSH configuration to import: ~/.ssh/config, or in the store
    // distribution "config" in a folder the user picks (remembered for
    // reading and stored as "sshDirectory"); nothing when the user declines.
    std::optional<std::filesystem::path> sshConfigForImport();

    std::optional<std::string> sshDirectory() const override;

    // Locations in use, by path.
    const std::map<std::string, std::filesystem::path>& active() const { return active_; }

  private:
    void storeGrant(const std::string& path, const QByteArray& grant, bool writing);

    FileChooser& chooser_;
    QSettings& preferences_;
    StoreSupportOptions options_;
    std::map<std::string, std::filesystem::path> active_;
};

} // namespace tarvik
