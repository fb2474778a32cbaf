#pragma once

#include "core/PTYProcess.h"
#include "view/TerminalViewDelegate.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace tarvik {

class SessionLog;
class TerminalView;

// A session's terminal: the view over the engine and the child on its
// pseudo-terminal, joined. Output goes to the view and to the session log;
// keys, pastes and replies go to the child; the look follows the settings.
class HostedTerminal : public QWidget, private TerminalViewDelegate {
    Q_OBJECT

  public:
    static constexpr int scrollbackLines = 10000;

    explicit HostedTerminal(QWidget* parent = nullptr);
    ~HostedTerminal() override;

    // The program's terminal title, cut to 100 user-perceived characters.
    std::function<void(const QString&)> onTitle;
    // Writing the log failed; logging has stopped, the session goes on.
    std::function<void(const QString&)> onLogError;

    PTYProcess& pty() { return *pty_; }
    TerminalView& view() { return *view_; }
    void setLog(std::unique_ptr<SessionLog> log);
    bool logging() const { return log_ != nullptr; }

    // Text shown in the terminal but not sent to the child nor logged.
    void feedText(const QString& text);
    void setBackspaceSendsControlH(bool on);
    int columns() const;
    int rows() const;

    void copy();
    void paste();
    void selectAll();

    // Font (only when it differs), colours and Alt-as-Meta from the settings.
    void applyPreferences();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void output(const PTYProcess::Bytes& bytes);

    // TerminalViewDelegate
    void send(TerminalViewCore& source, std::span<const std::uint8_t> data) override;
    void sizeChanged(TerminalViewCore& source, int newCols, int newRows) override;
    void setTerminalTitle(TerminalViewCore& source, const std::string& title) override;
    void requestOpenLink(TerminalViewCore& source, const std::string& link,
                         const std::vector<std::pair<std::string, std::string>>& params) override;
    void bell(TerminalViewCore& source) override;

    std::unique_ptr<PTYProcess> pty_;
    TerminalView* view_;
    std::unique_ptr<SessionLog> log_;
    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};

} // namespace tarvik
