#pragma once

#include <string>

namespace tarvik {

// A screenful of typical content for measuring and checking frame builds: coloured and
// bold words, true colour, wide characters, combining marks and a link on every row.
// `seed` varies the colours.
std::string viewWorkloadScreen(int cols, int rows, int seed = 0);

} // namespace tarvik
