#pragma once

#include "core/RawValue.h"

#include <array>
#include <optional>
#include <string_view>

namespace tarvik {

enum class ForwardKind { local, remote, SOCKS };

inline constexpr std::array<ForwardKind, 3> allForwardKinds{ForwardKind::local, ForwardKind::remote,
                                                            ForwardKind::SOCKS};

std::string_view rawValue(ForwardKind kind);
std::optional<ForwardKind> forwardKindFromRawValue(std::string_view raw);

// The option that introduces a rule of this kind; both engines use the same one.
std::string_view flag(ForwardKind kind);
// The stable identity of the case, which is its raw value.
inline std::string_view id(ForwardKind kind) {
    return rawValue(kind);
}

} // namespace tarvik

template <> struct std::hash<tarvik::ForwardKind> : tarvik::RawValueHash<tarvik::ForwardKind> {};
