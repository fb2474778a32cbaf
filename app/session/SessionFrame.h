#pragma once

#include <QMainWindow>

class QTabWidget;

namespace tarvik {

class ApplicationController;
class SessionWindowController;

// A window of session tabs. Sessions join the newest visible frame; the frame's
// title is the current session's title followed by what its program set as the
// terminal title, which is also the tab's tool tip.
class SessionFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit SessionFrame(ApplicationController& application);

    void addSession(SessionWindowController* session);
    // The session whose tab is shown, or nullptr.
    SessionWindowController* currentSession() const;
    int sessionCount() const;
    // Closes one tab as its close button would: the session ends and leaves.
    void closeSession(SessionWindowController* session);
    void showSession(SessionWindowController* session);

    // Follows a session's title, subtitle or state.
    void refresh(SessionWindowController* session);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateTitle();
    void switchTab(int step);

    ApplicationController& application_;
    QTabWidget* tabs_;
};

} // namespace tarvik
