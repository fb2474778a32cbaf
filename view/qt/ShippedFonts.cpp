#include "view/qt/ShippedFonts.h"

#include <QFontDatabase>

// The resource initialiser of a static library has to be called by name.
static void initShippedFontResources() { Q_INIT_RESOURCE(tarvik_fonts); }

namespace tarvik {

bool ShippedFonts::registerFonts() {
    static const bool registered = [] {
        initShippedFontResources();
        bool all = true;
        for (const char* name : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf",
                                 "DejaVuSansMono-BoldOblique.ttf"}) {
            all = QFontDatabase::addApplicationFont(QStringLiteral(":/tarvik/Fonts/") + QLatin1String(name)) >= 0 &&
                  all;
        }
        return all;
    }();
    return registered;
}

QFont ShippedFonts::defaultFont() {
    registerFonts();
    QFont font(QString::fromLatin1(family), defaultPointSize);
    font.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    font.setFixedPitch(true);
    font.setKerning(false);
    return font;
}

} // namespace tarvik
