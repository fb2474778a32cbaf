#include "core/ClosePolicy.h"

namespace tarvik {

std::string_view rawValue(ClosePolicy policy) {
    switch (policy) {
    case ClosePolicy::always:
        return "always";
    case ClosePolicy::never:
        return "never";
    case ClosePolicy::clean:
        return "clean";
    }
    return "clean";
}

std::optional<ClosePolicy> closePolicyFromRawValue(std::string_view raw) {
    return caseWithRawValue(allClosePolicies, raw);
}

} // namespace tarvik
