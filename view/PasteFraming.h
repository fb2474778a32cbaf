#pragma once

#include <string>
#include <string_view>

namespace tarvik {

// The bytes a paste sends. With bracketed paste on, the text is framed by the start and
// end markers and every end marker inside it is removed, so the program sees one paste
// however the text was made.
std::string framePaste(std::string_view text, bool bracketedPasteMode);

} // namespace tarvik
