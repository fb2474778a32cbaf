#include "app/session/SessionWindowController.h"

#include "app/session/ApplicationController.h"
#include "app/session/HostedTerminal.h"
#include "app/session/LocalShell.h"
#include "app/session/SessionLog.h"
#include "app/session/SessionText.h"
#include "app/settings/Localization.h"
#include "core/AppError.h"
#include "app/store/StoreSupportService.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

SessionWindowController::SessionWindowController(ApplicationController& application,
                                                 std::optional<Connection> connection, QStringList program)
    : application_(application), connection_(std::move(connection)), program_(std::move(program)),
      address_(new QLabel), reconnectButton_(new QPushButton), disconnectButton_(new QPushButton),
      terminal_(new HostedTerminal), status_(new QLabel) {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(11);
    address_->setFont(mono);
    address_->setText(SessionText::address(connection_, shellName()));
    address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The address gives way first when the window is narrow.
    address_->setMinimumWidth(40);
    address_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    reconnectButton_->setFocusPolicy(Qt::NoFocus);
    disconnectButton_->setFocusPolicy(Qt::NoFocus);

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->setContentsMargins(12, 8, 12, 0);
    row->addWidget(address_, 1);
    row->addWidget(reconnectButton_);
    row->addWidget(disconnectButton_);

    QFont small = font();
    small.setPointSizeF(11);
    status_->setFont(small);
    status_->setForegroundRole(QPalette::PlaceholderText);
    terminal_->setMinimumHeight(180);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 7);
    column->setSpacing(0);
    column->addLayout(row);
    column->addSpacing(8);
    auto* terminalRow = new QHBoxLayout;
    terminalRow->setContentsMargins(8, 0, 8, 0);
    terminalRow->addWidget(terminal_);
    column->addLayout(terminalRow, 1);
    column->addSpacing(7);
    auto* statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(12, 0, 12, 0);
    statusRow->addWidget(status_);
    column->addLayout(statusRow);
    setFocusProxy(terminal_);

    connect(reconnectButton_, &QPushButton::clicked, this, &SessionWindowController::reconnect);
    connect(disconnectButton_, &QPushButton::clicked, this, &SessionWindowController::disconnect);

    std::weak_ptr<char> alive = alive_;
    terminal_->onTitle = [this, alive](const QString& title) {
        if (alive.expired())
            return;
        subtitle_ = title;
        emit changed();
    };
    terminal_->onLogError = [this, alive](const QString& message) {
        if (!alive.expired())
            application_.showError(message);
    };
    terminal_->pty().onExit = [this, alive](std::int32_t code) {
        if (!alive.expired())
            exited(code);
    };
    relocalize();
}

SessionWindowController::~SessionWindowController() = default;

bool SessionWindowController::running() const {
    return terminal_->pty().running();
}

QString SessionWindowController::shellName() const {
    if (!program_.isEmpty())
        return QString::fromStdString(LocalShell{program_.front().toStdString()}.name());
    return QString::fromStdString(LocalShell::detect().name());
}

void SessionWindowController::setName(const QString& name) {
    name_ = name;
    emit changed();
}

QString SessionWindowController::windowTitle() const {
    return name_.isEmpty() ? SessionText::windowTitle(connection_) : name_ + QStringLiteral(" — Tarvik");
}

QString SessionWindowController::tabTitle() const {
    if (!name_.isEmpty())
        return name_;
    return connection_ ? QString::fromStdString(connection_->title()) : L("Local Terminal");
}

QString SessionWindowController::statusText() const {
    return status_->text();
}

void SessionWindowController::focusTerminal() {
    terminal_->setFocus(Qt::OtherFocusReason);
}

void SessionWindowController::start() {
    try {
        startChild();
    } catch (const std::exception& error) {
        failed_ = true;
        relocalize();
        application_.showError(QString::fromStdString(error.what()));
        return;
    }
    failed_ = false;
    relocalize();
    focusTerminal();
}

void SessionWindowController::startChild() {
    std::string executable;
    std::vector<std::string> arguments;
    std::string terminalType = "xterm-256color";
    if (connection_) {
        terminal_->setBackspaceSendsControlH(!connection_->backspaceDel);
        terminal_->setLog(connection_->logFile.empty() ? nullptr
                                                       : std::make_unique<SessionLog>(connection_->logFile));
        terminalType = connection_->terminalType;
        if (connection_->needsOrvel()) {
            executable = application_.skivPath();
            if (executable.empty())
                throw AppError("Bundled Skiv was not found.");
            arguments = connection_->skivArguments();
        } else {
            executable = "/usr/bin/ssh";
            arguments = application_.storeSupport().sshArgumentsPrefix();
            for (std::string& argument : connection_->sshArguments())
                arguments.push_back(std::move(argument));
        }
    } else if (!program_.isEmpty()) {
        executable = program_.front().toStdString();
        for (qsizetype i = 1; i < program_.size(); ++i)
            arguments.push_back(program_[i].toStdString());
    } else {
        executable = LocalShell::detect().path;
        arguments = {"-l"};
    }
    terminal_->pty().start(executable, arguments, terminal_->columns(), terminal_->rows(), terminalType);
}

void SessionWindowController::relocalize() {
    reconnectButton_->setText(L("Reconnect"));
    disconnectButton_->setText(L("Disconnect"));
    const bool isRunning = running();
    disconnectButton_->setEnabled(isRunning);
    if (failed_ && !isRunning)
        status_->setText(L("Error"));
    else
        status_->setText(SessionText::status(isRunning, code_, SessionText::engineLabel(connection_, shellName())));
    emit changed();
}

void SessionWindowController::exited(std::int32_t code) {
    code_ = code;
    relocalize();
    terminal_->feedText(SessionText::exitBanner(code));
    if (SessionText::closesOnExit(connection_, code))
        application_.closeSession(this);
}

void SessionWindowController::reconnect() {
    std::optional<Connection> copy = connection_;
    QStringList program = program_;
    ApplicationController& application = application_;
    // The new session opens before this one closes: closing the last window
    // first would end the application.
    application.open(copy, program);
    application.closeSession(this);
}

void SessionWindowController::disconnect() {
    terminal_->pty().terminate();
}

void SessionWindowController::windowWillClose() {
    terminal_->pty().terminate();
    application_.forget(this);
}

} // namespace tarvik
