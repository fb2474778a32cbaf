# Turns a text file into a C++ source that defines tarvik::translationText().
# Bytes are written as numbers, so no character of the text needs escaping.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
"// Generated from resources/translations.txt; do not edit.
#include <string_view>

namespace tarvik {
namespace {
const unsigned char bytes[] = {
${bytes}0};
} // namespace

std::string_view translationText() { return std::string_view(reinterpret_cast<const char*>(bytes), ${size}); }
} // namespace tarvik
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
