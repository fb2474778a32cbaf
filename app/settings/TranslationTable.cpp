#include "app/settings/TranslationTable.h"

namespace tarvik {

TranslationTable TranslationTable::parse(std::string_view text) {
    TranslationTable table;
    const QString all = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (const QString& line : all.split(u'\n', Qt::SkipEmptyParts)) {
        QStringList fields = line.split(u'|');
        if (fields.size() != columns) continue;
        const QString key = fields.front();
        if (!table.entries_.contains(key)) table.order_.append(key);
        table.entries_.insert(key, std::move(fields));
    }
    return table;
}

const TranslationTable& TranslationTable::shared() {
    static const TranslationTable table = parse(translationText());
    return table;
}

const QStringList* TranslationTable::find(const QString& english) const {
    const auto found = entries_.constFind(english);
    return found == entries_.constEnd() ? nullptr : &found.value();
}

} // namespace tarvik
