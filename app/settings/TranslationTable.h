#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <string_view>

namespace tarvik {

// The interface texts in the seven languages, keyed by their English text.
// Each entry holds all seven fields in the column order of UISettings::languages.
class TranslationTable {
  public:
    static constexpr int columns = 7;

    // Lines are split at line feeds and fields at "|"; a line with exactly
    // seven fields is an entry, any other line is ignored, and a later line
    // with the same key replaces the earlier one.
    static TranslationTable parse(std::string_view text);

    // The table compiled into the program, parsed on first use.
    static const TranslationTable& shared();

    bool empty() const { return entries_.isEmpty(); }
    // All seven fields of an English text, or nullptr when it is not a key.
    const QStringList* find(const QString& english) const;
    // The keys in the order of their first appearance.
    const QStringList& keys() const { return order_; }

  private:
    QHash<QString, QStringList> entries_;
    QStringList order_;
};

// The text of resources/translations.txt, generated into the build.
std::string_view translationText();

} // namespace tarvik
