#include "app/store/StoreSupportService.h"

#include "app/settings/Localization.h"
#include "app/store/FileGrant.h"

#include <QVariantMap>

namespace tarvik {

namespace {

namespace fs = std::filesystem;

constexpr const char* filesKey = "securityScopedFiles";
constexpr const char* writeAccessKey = "securityScopedWriteAccess";

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

StoreSupportService::StoreSupportService(FileChooser& chooser, QSettings& preferences, StoreSupportOptions options)
    : chooser_(chooser), preferences_(preferences), options_(std::move(options)) {}

StoreSupportService::~StoreSupportService() {
    close();
}

std::optional<fs::path> StoreSupportService::resolve(const std::string& path) {
    if (!enabled()) return fs::path(expandTilde(path));
    if (const auto inUse = active_.find(path); inUse != active_.end()) return inUse->second;
    const QVariantMap grants = preferences_.value(filesKey).toMap();
    const auto stored = grants.find(text(path));
    if (stored == grants.end()) return std::nullopt;
    const FileGrant::Resolved resolved = FileGrant::resolve(stored->toByteArray());
    if (!FileGrant::startUsing(resolved.location)) return std::nullopt;
    active_[path] = resolved.location;
    if (resolved.stale) {
        const bool writing = preferences_.value(writeAccessKey).toMap().value(text(path), false).toBool();
        storeGrant(path, FileGrant::create(resolved.location, writing), writing);
    }
    return resolved.location;
}

void StoreSupportService::remember(const fs::path& location, bool writing) {
    if (!enabled()) return;
    const std::string path = location.string();
    const bool started = FileGrant::startUsing(location);
    QByteArray grant;
    try {
        grant = FileGrant::create(location, writing);
    } catch (...) {
        if (started) FileGrant::stopUsing(location);
        throw;
    }
    storeGrant(path, grant, writing);
    if (!active_.contains(path))
        active_[path] = location;
    else if (started)
        FileGrant::stopUsing(location);
}

std::optional<std::string> StoreSupportService::authorize(const std::string& path, bool writing) {
    if (!enabled()) return path;
    if (const auto location = resolve(path)) return location->string();
    const std::optional<fs::path> chosen =
        writing ? chooser_.saveFile(L("Session output log (optional)"), text(fs::path(path).filename().string()))
                : chooser_.openFile(L("Private key file for authentication"));
    if (!chosen) return std::nullopt;
    remember(*chosen, writing);
    return chosen->string();
}

void StoreSupportService::close() {
    for (const auto& [path, location] : active_)
        FileGrant::stopUsing(location);
    active_.clear();
}

std::vector<std::string> StoreSupportService::sshArgumentsPrefix() {
    if (!enabled()) return {};
    return StoreSupport::sandboxedSshArguments(options_.home, *this);
}

std::optional<fs::path> StoreSupportService::sshConfigForImport() {
    if (!enabled()) return options_.home / ".ssh" / "config";
    const std::optional<fs::path> folder = chooser_.chooseFolder(L("Choose your SSH folder"));
    if (!folder) return std::nullopt;
    remember(*folder, false);
    preferences_.setValue("sshDirectory", text(folder->string()));
    return *folder / "config";
}

std::optional<std::string> StoreSupportService::sshDirectory() const {
    const QVariant folder = preferences_.value("sshDirectory");
    if (!folder.isValid()) return std::nullopt;
    return folder.toString().toStdString();
}

void StoreSupportService::storeGrant(const std::string& path, const QByteArray& grant, bool writing) {
    QVariantMap grants = preferences_.value(filesKey).toMap();
    QVariantMap writeAccess = preferences_.value(writeAccessKey).toMap();
    grants.insert(text(path), grant);
    writeAccess.insert(text(path), writing);
    preferences_.setValue(filesKey, grants);
    preferences_.setValue(writeAccessKey, writeAccess);
}

} // namespace tarvik
