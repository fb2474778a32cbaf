#pragma once

#include "engine/keys/Bytes.h"

namespace tarvik {

// Reads a whole key file of at most `limit` bytes; the reason otherwise.
bool readKeyFile(const std::string& path, size_t limit, SecretString& text, std::string& error);

// Writes a new file readable by its owner alone from its first byte; the file
// appears complete or not at all, and an existing file is never replaced.
bool writeKeyFile(const std::string& path, std::string_view data, std::string& error);

// Writes every byte, retrying after signals; false on the first error.
bool writeAll(int fd, std::string_view data);

} // namespace tarvik
