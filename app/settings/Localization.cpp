#include "app/settings/Localization.h"

#include "app/settings/TranslationTable.h"
#include "app/settings/UISettings.h"

namespace tarvik {

QString translate(const TranslationTable& table, const QString& language, const QString& english) {
    const QStringList* fields = table.find(english);
    if (fields == nullptr) return english;
    const int column = UISettings::languageIndex(language);
    return column < 0 ? english : fields->at(column);
}

QString L(const QString& english) {
    const TranslationTable& table = TranslationTable::shared();
    if (table.empty() || table.find(english) == nullptr) return english;
    return translate(table, UISettings().language(), english);
}

QString L(const char* english) {
    return L(QString::fromUtf8(english));
}

} // namespace tarvik
