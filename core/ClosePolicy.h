#pragma once

#include "core/RawValue.h"

#include <array>
#include <optional>
#include <string_view>

namespace tarvik {

// Whether a session window closes when its process exits; "clean" closes it
// only after an exit status of 0.
enum class ClosePolicy { always, never, clean };

inline constexpr std::array<ClosePolicy, 3> allClosePolicies{ClosePolicy::always, ClosePolicy::never,
                                                             ClosePolicy::clean};

std::string_view rawValue(ClosePolicy policy);
std::optional<ClosePolicy> closePolicyFromRawValue(std::string_view raw);

} // namespace tarvik

template <> struct std::hash<tarvik::ClosePolicy> : tarvik::RawValueHash<tarvik::ClosePolicy> {};
