#pragma once

#include "core/ForwardKind.h"
#include "core/Uuid.h"

#include <string>

namespace tarvik {

// One port-forwarding rule; its text is handed to the engine as it stands.
struct ForwardRule {
    Uuid id = Uuid::random();
    ForwardKind kind = ForwardKind::local;
    std::string specification;

    friend bool operator==(const ForwardRule&, const ForwardRule&) = default;
};

} // namespace tarvik
