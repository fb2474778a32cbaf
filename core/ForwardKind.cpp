#include "core/ForwardKind.h"

namespace tarvik {

std::string_view rawValue(ForwardKind kind) {
    switch (kind) {
    case ForwardKind::local:
        return "Local";
    case ForwardKind::remote:
        return "Remote";
    case ForwardKind::SOCKS:
        return "SOCKS";
    }
    return "Local";
}

std::optional<ForwardKind> forwardKindFromRawValue(std::string_view raw) {
    return caseWithRawValue(allForwardKinds, raw);
}

std::string_view flag(ForwardKind kind) {
    switch (kind) {
    case ForwardKind::local:
        return "-L";
    case ForwardKind::remote:
        return "-R";
    case ForwardKind::SOCKS:
        return "-D";
    }
    return "-L";
}

} // namespace tarvik
