#pragma once

#include <string_view>

namespace tarvik {

// One or more ASCII digits whose value lies from 1 to 65535; leading zeros allowed.
bool validPort(std::string_view text);

} // namespace tarvik
