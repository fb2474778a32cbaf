#include "app/session/SerialLines.h"

#include <QCollator>
#include <QDir>

#include <algorithm>

namespace tarvik::SerialLines {

namespace {

// Natural order, so ttyS2 comes before ttyS10.
void appendSorted(QStringList& out, const QDir& folder, const QStringList& patterns) {
    QStringList names = folder.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
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
