#include "view/PasteFraming.h"

#include "view/EscapeSequences.h"

namespace tarvik {

std::string framePaste(std::string_view text, bool bracketedPasteMode) {
    if (!bracketedPasteMode) return std::string(text);
    constexpr std::string_view endMarker = EscapeSequences::bracketedPasteEnd;
    std::string body(text);
    // Removing one marker can join its neighbours into a new one ("\e[20" "\e[201~" "1~"),
    // so search again from just before the cut until none is left.
    std::size_t from = 0;
    for (std::size_t at; (at = body.find(endMarker, from)) != std::string::npos;) {
        body.erase(at, endMarker.size());
        from = at >= endMarker.size() ? at - endMarker.size() : 0;
    }
    std::string framed;
    framed.reserve(body.size() + 12);
    framed.append(EscapeSequences::bracketedPasteStart).append(body).append(endMarker);
    return framed;
}

} // namespace tarvik
