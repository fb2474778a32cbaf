#pragma once

#include <QByteArray>
#include <filesystem>

namespace tarvik {

// Persistent grants to files and folders the user chose, for the store
// distribution. A grant's bytes record the path with the device and inode it
// had when granted (zero for a file not written yet, such as a new log), so a
// file replaced behind the program's back shows up as a stale grant.
namespace FileGrant {

struct Resolved {
    std::filesystem::path location;
    // The inode at the path is no longer the granted one.
    bool stale = false;
};

// Throws std::filesystem::filesystem_error when neither the location nor
// the folder it would be created in exists.
QByteArray create(const std::filesystem::path& location, bool writing);

// Throws std::invalid_argument for bytes that are not a grant.
Resolved resolve(const QByteArray& grant);

// Whether the grant's write permission was recorded; false for bytes that are not a grant.
bool allowsWriting(const QByteArray& grant);

// Using a location succeeds when the file, or the folder it would be created
// in, is reachable; stopping has nothing to release on this system.
bool startUsing(const std::filesystem::path& location);
void stopUsing(const std::filesystem::path& location);

} // namespace FileGrant

} // namespace tarvik
