#pragma once

#include <QMainWindow>

class QListWidget;

namespace tarvik {

class ApplicationController;

// The main window: the saved sessions, opened with a double click or Open. Closing
// it only hides it; the application menu brings it back.
class ConfigurationWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit ConfigurationWindow(ApplicationController& application);

    // Builds the content again in the current language.
    void rebuild();
    void reloadSessions();
    void importSSH();
    void chooseImport();
    void chooseExport();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void openSelected();

    ApplicationController& application_;
    QListWidget* sessions_ = nullptr;
};

} // namespace tarvik
