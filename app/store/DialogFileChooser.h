#pragma once

#include "app/store/FileChooser.h"

class QWidget;

namespace tarvik {

// FileChooser on modal QFileDialogs. Cancel gives nothing.
class DialogFileChooser : public FileChooser {
  public:
    explicit DialogFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<std::filesystem::path> openFile(const QString& title) override;
    std::optional<std::filesystem::path> saveFile(const QString& title, const QString& proposedName) override;
    std::optional<std::filesystem::path> chooseFolder(const QString& title) override;

  private:
    QWidget* parent_;
};

} // namespace tarvik
