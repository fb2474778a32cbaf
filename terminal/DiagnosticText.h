#pragma once

#include <span>
#include <string>

namespace tarvik {

// A list as the diagnostic log writes it: "[1, 2, 3]", in decimal.
template <typename T> std::string listText(std::span<const T> values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(values[i]);
    }
    return out + "]";
}

} // namespace tarvik
