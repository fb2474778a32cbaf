#include "app/session/SerialLines.h"

#include <QDir>

#include <algorithm>

namespace tarvik::SerialLines {

namespace {

// Device numbers in numeric order, so ttyS2 comes before ttyS10.
bool naturalLess(const QString& a, const QString& b) {
    const auto split = [](const QString& name) {
        qsizetype digits = name.size();
        while (digits > 0 && name[digits - 1].isDigit())
            --digits;
        return std::pair{name.left(digits), name.mid(digits).toULongLong()};
    };
    return split(a) < split(b);
}

void appendSorted(QStringList& out, const QDir& folder, const QStringList& patterns) {
    QStringList names = folder.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), naturalLess);
    for (const QString& name : names)
        out << folder.filePath(name);
}

} // namespace

QStringList present(const QString& devices) {
    QStringList lines;
    const QDir root(devices);
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "ttyS*"})
        appendSorted(lines, root, {QString::fromLatin1(pattern)});
    appendSorted(lines, QDir(root.filePath(QStringLiteral("serial/by-id"))), {});
    return lines;
}

} // namespace tarvik::SerialLines
