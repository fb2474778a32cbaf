#pragma once

#include <QFont>
#include <QString>

namespace tarvik {

// The DejaVu Sans Mono files shipped with the program (compiled into the library, so
// the tools and tests find them without an install tree).
class ShippedFonts {
  public:
    static constexpr const char* family = "DejaVu Sans Mono";
    static constexpr int defaultPointSize = 14;

    // Registers the four files with the application's font database once; true when
    // all four are available. Needs a QGuiApplication.
    static bool registerFonts();
    // DejaVu Sans Mono 14 pt, the terminal font until the user chooses another.
    static QFont defaultFont();
};

} // namespace tarvik
