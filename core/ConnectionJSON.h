#pragma once

#include "core/Connection.h"

#include <nlohmann/json.hpp>
#include <vector>

namespace tarvik {

// Every key is always written, so a file read by an older or newer build never
// depends on which defaults that build happens to have.
nlohmann::json encodeConnection(const Connection& connection);
nlohmann::json encodeConnections(const std::vector<Connection>& connections);

// Strict: an absent or null key keeps its default, but "host" is required and
// any present value of the wrong type or unknown text throws DecodeError.
// Unknown keys are ignored.
Connection decodeConnection(const nlohmann::json& object);
std::vector<Connection> decodeConnections(const nlohmann::json& array);

} // namespace tarvik
