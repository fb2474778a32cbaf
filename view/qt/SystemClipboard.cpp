#include "view/qt/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tarvik {

void SystemClipboard::setClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(text, QClipboard::Clipboard);
}

QString SystemClipboard::clipboardText() { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); }

bool SystemClipboard::hasPrimarySelection() { return QGuiApplication::clipboard()->supportsSelection(); }

void SystemClipboard::setPrimaryText(const QString& text) {
    if (hasPrimarySelection()) QGuiApplication::clipboard()->setText(text, QClipboard::Selection);
}

QString SystemClipboard::primaryText() {
    return hasPrimarySelection() ? QGuiApplication::clipboard()->text(QClipboard::Selection) : QString();
}

} // namespace tarvik
