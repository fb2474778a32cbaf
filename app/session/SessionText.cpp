#include "app/session/SessionText.h"

#include "app/settings/Localization.h"

#include <QTextBoundaryFinder>

namespace tarvik::SessionText {

namespace {

const QString dot = QStringLiteral(" · ");

} // namespace

QString windowTitle(const std::optional<Connection>& connection) {
    const QString title = connection ? QString::fromStdString(connection->title()) : L("Local Terminal");
    return title + QStringLiteral(" — Tarvik");
}

QString address(const std::optional<Connection>& connection, const QString& shellName) {
    return connection ? QString::fromStdString(connection->address()) : QStringLiteral("localhost") + dot + shellName;
}

QString engineLabel(const std::optional<Connection>& connection, const QString& shellName) {
    if (!connection)
        return shellName;
    return connection->needsOrvel() ? QStringLiteral("Orvel / Skiv 0.85") : QStringLiteral("OpenSSH");
}

QString status(bool running, std::optional<std::int32_t> code, const QString& engine) {
    if (running)
        return L("Running") + dot + engine;
    return code ? L("Exited") + dot + QString::number(*code) : L("Exited");
}

QString exitBanner(std::int32_t code) {
    return QStringLiteral("\r\n[") + L("Exited") + QStringLiteral(": ") + QString::number(code) +
           QStringLiteral("]\r\n");
}

QString cutTitle(const QString& title, int limit) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, title);
    int characters = 0;
    for (qsizetype boundary = finder.toNextBoundary(); boundary != -1; boundary = finder.toNextBoundary()) {
        if (++characters == limit)
            return title.left(boundary);
    }
    return title;
}

bool closesOnExit(const std::optional<Connection>& connection, std::int32_t code) {
    if (!connection)
        return false;
    switch (connection->closeOnExit) {
    case ClosePolicy::always:
        return true;
    case ClosePolicy::clean:
        return code == 0;
    case ClosePolicy::never:
        return false;
    }
    return false;
}

} // namespace tarvik::SessionText
