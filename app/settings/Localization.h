#pragma once

#include <QString>

namespace tarvik {

// The English interface text in the current interface language; a text the
// table does not know (a profile name, a path) comes back unchanged.
QString L(const QString& english);
QString L(const char* english);

// L against a given table and language code, for callers that hold both.
class TranslationTable;
QString translate(const TranslationTable& table, const QString& language, const QString& english);

} // namespace tarvik
