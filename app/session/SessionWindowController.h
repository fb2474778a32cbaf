#pragma once

#include "core/Connection.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;

namespace tarvik {

class ApplicationController;
class HostedTerminal;

// One session: a tab holding the address row with Reconnect and Disconnect, the
// terminal and the status line. Without a profile it is a local terminal. The
// profile is kept as it stood after validation and the user-name prompt, so a
// reconnect reuses what the user entered.
class SessionWindowController : public QWidget {
    Q_OBJECT

  public:
    SessionWindowController(ApplicationController& application, std::optional<Connection> connection,
                            QStringList program = {});
    ~SessionWindowController() override;

    // Opens the log and starts the child; failures are shown and leave the tab
    // open with the status "Error" and no child.
    void start();
    void relocalize();
    void reconnect();
    void disconnect();
    // The tab is going away: the child is told to end and the application forgets it.
    void windowWillClose();

    const std::optional<Connection>& connection() const { return connection_; }
    std::optional<std::int32_t> exitCode() const { return code_; }
    bool running() const;
    HostedTerminal& terminal() { return *terminal_; }
    // A name given on the command line (tarvik -T) instead of the profile's or "Local Terminal".
    void setName(const QString& name);
    QString windowTitle() const;
    QString tabTitle() const;
    QString subtitle() const { return subtitle_; }
    QString statusText() const;
    void focusTerminal();

  signals:
    // Title, subtitle or state changed: the frame follows.
    void changed();

  private:
    void startChild();
    void exited(std::int32_t code);
    QString shellName() const;

    ApplicationController& application_;
    std::optional<Connection> connection_;
    // A program for a local terminal instead of the login shell (tarvik -e).
    QStringList program_;
    std::optional<std::int32_t> code_;
    bool failed_ = false;
    QString subtitle_;
    QString name_;
    QLabel* address_;
    QPushButton* reconnectButton_;
    QPushButton* disconnectButton_;
    HostedTerminal* terminal_;
    QLabel* status_;
    // Callbacks from the process and the view hold this weakly.
    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};

} // namespace tarvik
