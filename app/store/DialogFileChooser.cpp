#include "app/store/DialogFileChooser.h"

#include <QFileDialog>

namespace tarvik {

namespace {

std::optional<std::filesystem::path> run(QFileDialog& dialog) {
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

} // namespace

std::optional<std::filesystem::path> DialogFileChooser::openFile(const QString& title) {
    QFileDialog dialog(parent_, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog);
}

std::optional<std::filesystem::path> DialogFileChooser::saveFile(const QString& title, const QString& proposedName) {
    QFileDialog dialog(parent_, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(proposedName);
    return run(dialog);
}

std::optional<std::filesystem::path> DialogFileChooser::chooseFolder(const QString& title) {
    QFileDialog dialog(parent_, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return run(dialog);
}

} // namespace tarvik
