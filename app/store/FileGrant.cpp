#include "app/store/FileGrant.h"

#include <QList>
#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

namespace tarvik::FileGrant {

namespace {

namespace fs = std::filesystem;

constexpr const char* magic = "tarvik-file-grant 1";

struct Identity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

// Zero identity for a path that does not exist.
Identity identityOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

bool reachable(const fs::path& location) {
    std::error_code error;
    if (fs::exists(location, error)) return true;
    const fs::path folder = location.parent_path();
    return !folder.empty() && fs::is_directory(folder, error);
}

struct Parsed {
    Identity identity;
    bool writing = false;
    fs::path location;
};

// Format: the magic line, "device inode writing", then the path (which may
// itself hold line feeds, so it is the rest of the bytes).
Parsed parse(const QByteArray& grant) {
    const qsizetype first = grant.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : grant.indexOf('\n', first + 1);
    if (second < 0 || grant.left(first) != magic) throw std::invalid_argument("Invalid file grant.");
    const QList<QByteArray> numbers = grant.mid(first + 1, second - first - 1).split(' ');
    bool ok[3] = {false, false, false};
    Parsed parsed;
    if (numbers.size() == 3) {
        parsed.identity.device = numbers[0].toULongLong(&ok[0]);
        parsed.identity.inode = numbers[1].toULongLong(&ok[1]);
        const int writing = numbers[2].toInt(&ok[2]);
        ok[2] = ok[2] && (writing == 0 || writing == 1);
        parsed.writing = writing == 1;
    }
    const QByteArray path = grant.mid(second + 1);
    if (!ok[0] || !ok[1] || !ok[2] || path.isEmpty() || path.contains('\0'))
        throw std::invalid_argument("Invalid file grant.");
    parsed.location = fs::path(path.toStdString());
    return parsed;
}

} // namespace

QByteArray create(const fs::path& location, bool writing) {
    if (!reachable(location))
        throw fs::filesystem_error("Cannot grant access", location, std::make_error_code(std::errc::no_such_file_or_directory));
    const Identity id = identityOf(location);
    QByteArray grant(magic);
    grant += '\n' + QByteArray::number(id.device) + ' ' + QByteArray::number(id.inode) + ' ' +
             QByteArray::number(writing ? 1 : 0) + '\n';
    grant += QByteArray::fromStdString(location.string());
    return grant;
}

Resolved resolve(const QByteArray& grant) {
    const Parsed parsed = parse(grant);
    const Identity now = identityOf(parsed.location);
    const bool stale = now.device != parsed.identity.device || now.inode != parsed.identity.inode;
    return {parsed.location, stale};
}

bool allowsWriting(const QByteArray& grant) {
    try {
        return parse(grant).writing;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

bool startUsing(const fs::path& location) {
    return reachable(location);
}

void stopUsing(const fs::path&) {}

} // namespace tarvik::FileGrant
