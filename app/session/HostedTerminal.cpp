#include "app/session/HostedTerminal.h"

#include "app/session/SessionLog.h"
#include "app/session/SessionText.h"
#include "app/settings/SettingsNotification.h"
#include "app/settings/TerminalPreferences.h"
#include "view/qt/TerminalView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace tarvik {

namespace {

TerminalOptions sessionOptions() {
    TerminalOptions options;
    options.scrollback = HostedTerminal::scrollbackLines;
    return options;
}

// Links from the program open only when they lead to a web page or a mail form.
bool opensExternally(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "https" || scheme == "http" || scheme == "mailto");
}

} // namespace

HostedTerminal::HostedTerminal(QWidget* parent)
    : QWidget(parent), pty_(std::make_unique<PTYProcess>()), view_(new TerminalView(*this, sessionOptions(), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);

    std::weak_ptr<char> alive = alive_;
    pty_->onData = [this, alive](PTYProcess::Bytes bytes) {
        if (!alive.expired())
            output(bytes);
    };
    connect(&SettingsNotification::instance(), &SettingsNotification::settingsChanged, this,
            &HostedTerminal::applyPreferences);
    applyPreferences();
}

HostedTerminal::~HostedTerminal() = default;

void HostedTerminal::setLog(std::unique_ptr<SessionLog> log) {
    log_ = std::move(log);
}

void HostedTerminal::output(const PTYProcess::Bytes& bytes) {
    view_->feed(std::span<const std::uint8_t>(bytes));
    if (!log_)
        return;
    try {
        log_->append(bytes);
    } catch (const std::exception& error) {
        log_.reset();
        if (onLogError)
            onLogError(QString::fromStdString(error.what()));
    }
}

void HostedTerminal::feedText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    view_->feed(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void HostedTerminal::setBackspaceSendsControlH(bool on) {
    view_->viewOptions().backspaceSendsControlH = on;
}

int HostedTerminal::columns() const {
    return view_->terminal().cols();
}

int HostedTerminal::rows() const {
    return view_->terminal().rows();
}

void HostedTerminal::copy() {
    view_->copy();
}

void HostedTerminal::paste() {
    view_->paste();
}

void HostedTerminal::selectAll() {
    view_->selectAll();
}

void HostedTerminal::applyPreferences() {
    const TerminalPreferences preferences = TerminalPreferences::current();
    if (const std::optional<QFont> font = preferences.fontFor(view_->terminalFont()))
        view_->setTerminalFont(*font);
    view_->setNativeBackgroundColor(preferences.background);
    view_->setNativeForegroundColor(preferences.foreground);
    view_->setCaretColor(preferences.cursor);
    view_->setOptionAsMetaKey(preferences.optionAsMeta);
    view_->update();
}

void HostedTerminal::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        applyPreferences();
    QWidget::changeEvent(event);
}

void HostedTerminal::send(TerminalViewCore&, std::span<const std::uint8_t> data) {
    pty_->send(data);
}

void HostedTerminal::sizeChanged(TerminalViewCore&, int newCols, int newRows) {
    pty_->resize(newCols, newRows);
}

void HostedTerminal::setTerminalTitle(TerminalViewCore&, const std::string& title) {
    if (onTitle)
        onTitle(SessionText::cutTitle(QString::fromStdString(title)));
}

void HostedTerminal::requestOpenLink(TerminalViewCore&, const std::string& link,
                                     const std::vector<std::pair<std::string, std::string>>&) {
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    if (opensExternally(url))
        QDesktopServices::openUrl(url);
}

void HostedTerminal::bell(TerminalViewCore&) {
    QApplication::beep();
}

} // namespace tarvik
