#pragma once

#include "core/Connection.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tarvik::ProfileFile {

// A missing file is an empty list. Read errors throw std::system_error, JSON
// syntax errors nlohmann::json::parse_error, and a document that is not a valid
// profile list DecodeError; one bad profile fails the whole load.
std::vector<Connection> load(const std::filesystem::path& path);

// Bounds for a file that may come from anywhere: a larger or more deeply
// nested document fails with DecodeError before it can exhaust memory.
struct LoadLimits {
    std::uintmax_t maxBytes = 16u << 20;
    int maxDepth = 16;
};
std::vector<Connection> load(const std::filesystem::path& path, const LoadLimits& limits);

// Creates missing parent folders with mode 0700, then replaces the file in one
// step through a 0600 temporary file beside it, and syncs the folder so the
// rename itself survives a power loss. A path that is a symbolic link is
// written through to its target; the link stays. On failure the previous file
// is left exactly as it was and no temporary file remains. Errors are
// std::system_error (std::filesystem::filesystem_error for folder creation) or
// nlohmann::json::type_error for text that is not valid UTF-8.
void save(const std::vector<Connection>& connections, const std::filesystem::path& path);

} // namespace tarvik::ProfileFile
