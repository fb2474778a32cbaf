#pragma once

#include <QString>
#include <filesystem>
#include <optional>

namespace tarvik {

// The file panels the store distribution asks the user with. The application
// uses DialogFileChooser; tests answer with their own.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // An existing file, hidden files shown, single selection.
    virtual std::optional<std::filesystem::path> openFile(const QString& title) = 0;
    // A file to write, proposing a name.
    virtual std::optional<std::filesystem::path> saveFile(const QString& title, const QString& proposedName) = 0;
    // A folder, hidden folders shown.
    virtual std::optional<std::filesystem::path> chooseFolder(const QString& title) = 0;
};

} // namespace tarvik
