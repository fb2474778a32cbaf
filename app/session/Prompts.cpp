#include "app/session/Prompts.h"

#include "app/settings/Localization.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

namespace {

QWidget* activeParent() {
    return QApplication::activeWindow();
}

} // namespace

void DesktopPrompts::showError(const QString& message) {
    QMessageBox box(QMessageBox::Warning, L("Error"), L("Error"), QMessageBox::NoButton, activeParent());
    box.setInformativeText(L(message));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

std::optional<QString> DesktopPrompts::askUserName() {
    QDialog dialog(activeParent());
    dialog.setWindowTitle(L("SSH username required"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* heading = new QLabel(L("SSH username required"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* detail = new QLabel(L("Enter the account name on the server. Your computer login may be different."));
    detail->setWordWrap(true);
    layout->addWidget(detail);
    auto* field = new QLineEdit;
    field->setPlaceholderText(L("Auto-login username"));
    field->setMinimumWidth(310);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox;
    QPushButton* open = buttons->addButton(L("Open"), QDialogButtonBox::AcceptRole);
    buttons->addButton(L("Cancel"), QDialogButtonBox::RejectRole);
    open->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

bool DesktopPrompts::confirmQuit() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvik"), L("Close active sessions?"),
                    QMessageBox::NoButton, activeParent());
    box.setInformativeText(L("Quit will close all connections."));
    QPushButton* quit = box.addButton(L("Quit"), QMessageBox::AcceptRole);
    box.addButton(L("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(quit);
    box.exec();
    return box.clickedButton() == quit;
}

void DesktopPrompts::showPanel(const QString& title, const QString& text, QWidget* accessory) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tarvik"), title, QMessageBox::NoButton,
                    activeParent());
    box.setInformativeText(text);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    if (accessory != nullptr) {
        // QMessageBox has no accessory slot; its grid layout takes one more row.
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}

} // namespace tarvik
