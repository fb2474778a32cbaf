#include "app/session/ApplicationController.h"

#include "BuildInfo.h"
#include "app/session/ConfigurationWindowController.h"
#include "app/session/LaunchRequest.h"
#include "app/session/HostedTerminal.h"
#include "app/session/Prompts.h"
#include "app/session/SessionFrame.h"
#include "app/session/SessionWindowController.h"
#include "app/settings/Localization.h"
#include "app/settings/TerminalFonts.h"
#include "app/settings/UISettings.h"
#include "app/store/DialogFileChooser.h"
#include "app/store/ProfileStore.h"
#include "app/store/StoreSupportService.h"
#include "view/qt/ShippedFonts.h"
#include "core/AppError.h"
#include "core/Paths.h"
#include "core/StoreSupport.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <unistd.h>

namespace tarvik {

namespace {

QKeySequence command(Qt::Key key) {
    return QKeySequence(Qt::CTRL | Qt::SHIFT | key);
}

// The privacy and support pages open only over https, to a real host.
bool isSafePage(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
           !url.host().endsWith(QLatin1String(".invalid"));
}

// The Edit commands go to whatever has the keyboard: a terminal or a text field.
template <typename TerminalAction, typename FieldAction>
void toFocused(TerminalAction onTerminal, FieldAction onField) {
    QWidget* focused = QApplication::focusWidget();
    for (QWidget* widget = focused; widget != nullptr; widget = widget->parentWidget()) {
        if (auto* terminal = qobject_cast<HostedTerminal*>(widget)) {
            onTerminal(*terminal);
            return;
        }
    }
    if (auto* field = qobject_cast<QLineEdit*>(focused))
        onField(*field);
}

} // namespace

ApplicationController::ApplicationController(std::unique_ptr<Prompts> prompts, StoreSupportOptions storeOptions)
    : prompts_(std::move(prompts)), chooser_(std::make_unique<DialogFileChooser>()),
      storeSupport_(std::make_unique<StoreSupportService>(*chooser_, Preferences::shared(), std::move(storeOptions))),
      store_(std::make_unique<ProfileStore>()) {}

ApplicationController::~ApplicationController() {
    // The windows refer to this controller: they go first, their children with them.
    quitting_ = true;
    std::vector<QPointer<SessionFrame>> frames;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* frame = qobject_cast<SessionFrame*>(window))
            frames.emplace_back(frame);
    }
    for (const QPointer<SessionFrame>& frame : frames)
        delete frame.data();
    terminals_.clear();
    delete configuration_;
}

void ApplicationController::launch(bool showConfigurationWindow) {
    // The shipped fonts are compiled in; an installed copy beside the program is
    // registered too, so a user may replace them.
    ShippedFonts::registerFonts();
    TerminalFonts::registerIn(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tarvik/Fonts"));
    UISettings().applyAppearance();
    configuration_ = new ConfigurationWindowController(*this);
    buildMenu();
    if (showConfigurationWindow)
        showConfiguration();
    if (const auto& error = store_->loadError())
        showError(QString::fromStdString(error->message()));
}

void ApplicationController::showError(const QString& message) {
    prompts_->showError(message);
}

void ApplicationController::open(std::optional<Connection> connection, const QStringList& program,
                                 const QString& title) {
    try {
        if (connection) {
            Connection profile = connection->validated();
            if (profile.protocolKind == ConnectionProtocol::SSH && profile.needsOrvel() && profile.username.empty()) {
                const std::optional<QString> name = prompts_->askUserName();
                if (!name)
                    return;
                profile.username = name->toStdString();
                profile = profile.validated();
                (void)profile.skivArguments();
            }
            if (storeSupport_->enabled() && !authorizeFiles(profile))
                return;
            const bool usesKey = profile.protocolKind == ConnectionProtocol::SSH && !profile.passwordOnly &&
                                 !profile.identityFile.empty();
            if (usesKey && ::access(expandTilde(profile.identityFile).c_str(), R_OK) != 0)
                throw AppError((L("File not found:") + " ").toStdString() + profile.identityFile);
            connection = std::move(profile);
        }
    } catch (const std::exception& error) {
        showError(QString::fromStdString(error.what()));
        return;
    }

    auto* session = new SessionWindowController(*this, std::move(connection), program);
    if (!title.isEmpty())
        session->setName(title);
    SessionFrame* frame = newestVisibleFrame();
    if (frame == nullptr) {
        frame = new SessionFrame(*this);
        frame->show();
    }
    frame->addSession(session);
    terminals_.push_back(session);
    frame->raise();
    frame->activateWindow();
    session->start();
}

bool ApplicationController::authorizeFiles(Connection& profile) {
    if (profile.protocolKind == ConnectionProtocol::SSH && !profile.passwordOnly && !profile.identityFile.empty()) {
        const std::optional<std::string> key = storeSupport_->authorize(profile.identityFile, false);
        if (!key)
            return false;
        profile.identityFile = *key;
    }
    if (!profile.logFile.empty()) {
        const std::optional<std::string> log = storeSupport_->authorize(profile.logFile, true);
        if (!log)
            return false;
        profile.logFile = *log;
    }
    return true;
}

SessionFrame* ApplicationController::newestVisibleFrame() const {
    if (terminals_.empty())
        return nullptr;
    SessionFrame* frame = frameOf(terminals_.back());
    return frame != nullptr && frame->isVisible() ? frame : nullptr;
}

SessionFrame* ApplicationController::frameOf(SessionWindowController* session) const {
    for (QWidget* widget = session; widget != nullptr; widget = widget->parentWidget()) {
        if (auto* frame = qobject_cast<SessionFrame*>(widget))
            return frame;
    }
    return nullptr;
}

std::vector<SessionFrame*> ApplicationController::frames() const {
    std::vector<SessionFrame*> result;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* frame = qobject_cast<SessionFrame*>(window); frame != nullptr && frame->isVisible())
            result.push_back(frame);
    }
    return result;
}

void ApplicationController::closeSession(SessionWindowController* session) {
    if (SessionFrame* frame = frameOf(session))
        frame->closeSession(session);
    else
        session->windowWillClose();
}

void ApplicationController::forget(SessionWindowController* session) {
    terminals_.erase(std::remove(terminals_.begin(), terminals_.end(), session), terminals_.end());
}

std::string ApplicationController::skivPath() const {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {here.filePath("skiv"), here.filePath("../libexec/tarvik/skiv")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath().toStdString();
    }
    return {};
}

void ApplicationController::showConfiguration() {
    configuration_->show();
    configuration_->raise();
    configuration_->activateWindow();
}

void ApplicationController::localTerminal() {
    open(std::nullopt);
}

void ApplicationController::closeWindow() {
    QWidget* window = QApplication::activeWindow();
    if (auto* frame = qobject_cast<SessionFrame*>(window)) {
        if (SessionWindowController* session = frame->currentSession())
            frame->closeSession(session);
        return;
    }
    if (window != nullptr)
        window->close();
}

SessionWindowController* ApplicationController::keySession() const {
    auto* frame = qobject_cast<SessionFrame*>(QApplication::activeWindow());
    if (frame == nullptr)
        return nullptr;
    SessionWindowController* session = frame->currentSession();
    return std::find(terminals_.begin(), terminals_.end(), session) != terminals_.end() ? session : nullptr;
}

void ApplicationController::reconnect() {
    if (SessionWindowController* session = keySession())
        session->reconnect();
}

void ApplicationController::disconnect() {
    if (SessionWindowController* session = keySession())
        session->disconnect();
}

void ApplicationController::setLanguage(const QString& code) {
    // What the page shows is read in the language it was shown in.
    configuration_->syncDraft();
    UISettings().setLanguage(code);
    configuration_->rebuild();
    relocalizeAll();
    buildMenu();
}

void ApplicationController::setTheme(const QString& appearance) {
    configuration_->syncDraft();
    UISettings settings;
    settings.setAppearance(appearance);
    settings.applyAppearance();
    configuration_->rebuild();
    buildMenu();
}

void ApplicationController::relocalizeAll() {
    for (SessionWindowController* session : terminals_)
        session->relocalize();
}

void ApplicationController::about() {
    const QString version = QString::fromLatin1(BuildInfo::version);
    const QString text = L("A terminal client for SSH, Telnet, Rlogin, raw TCP and serial lines.") +
                         QStringLiteral("\n\n") + L("Linux · x86-64 and ARM64") + QStringLiteral("\n") +
                         L("SSH sessions run in OpenSSH; OPK keys and the other connection types use the bundled "
                           "Orvel engine.");
    prompts_->showPanel(QStringLiteral("Tarvik ") + (version.isEmpty() ? QStringLiteral("1.4.2") : version), text);
}

void ApplicationController::help() {
    const QString text =
        L("Set the host, port and connection type in Session, then click Open. Enter a session name and click Save "
          "to keep the connection.") +
        QStringLiteral("\n\n") +
        L("Choose a private key under Connection > SSH > Authentication. OPK keys use Orvel automatically; "
          "passphrases are requested in the terminal.") +
        QStringLiteral("\n\n") +
        L("Change the interface using Language and Theme. Use Ctrl+Shift+N for configuration, Ctrl+Shift+T for a "
          "local terminal and Ctrl+Shift+R to reconnect.");
    prompts_->showPanel(QStringLiteral("Tarvik — ") + L("Help"), text);
}

void ApplicationController::openLinkIfSafe(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (isSafePage(url))
        QDesktopServices::openUrl(url);
}

void ApplicationController::importProfiles(const QString& path) {
    try {
        store_->importProfiles(path.toStdString());
        configuration_->reloadSessions();
    } catch (const std::exception& error) {
        showError(QString::fromStdString(error.what()));
    }
}

void ApplicationController::importSSH() {
    try {
        const std::optional<std::filesystem::path> location = storeSupport_->sshConfigForImport();
        if (!location)
            return;
        store_->importSSHConfig(*location);
        configuration_->reloadSessions();
    } catch (const std::exception& error) {
        showError(QString::fromStdString(error.what()));
    }
}

void ApplicationController::exportProfiles(const QString& path) {
    try {
        store_->exportProfiles(path.toStdString());
    } catch (const std::exception& error) {
        showError(QString::fromStdString(error.what()));
    }
}

bool ApplicationController::confirmQuit() {
    const bool anyRunning = std::any_of(terminals_.begin(), terminals_.end(),
                                        [](SessionWindowController* session) { return session->running(); });
    if (anyRunning && !prompts_->confirmQuit())
        return false;
    for (SessionWindowController* session : terminals_)
        session->terminal().pty().terminate();
    storeSupport_->close();
    return true;
}

void ApplicationController::quit() {
    if (quitting_ || !confirmQuit())
        return;
    quitting_ = true;
    // The frames close without asking again; their children have been told to end.
    for (SessionFrame* frame : frames())
        frame->close();
    QCoreApplication::quit();
}

bool ApplicationController::isLastVisibleWindow(QWidget* window) const {
    if (quitting_)
        return false;
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != window && other->isVisible() && other->isWindow() && other->windowType() != Qt::Popup &&
            (qobject_cast<SessionFrame*>(other) != nullptr || other == configuration_))
            return false;
    }
    return true;
}

void ApplicationController::windowClosed(QWidget* window) {
    if (!quitting_ && isLastVisibleWindow(window)) {
        // Every session has already ended with its window: nothing left to ask.
        quitting_ = true;
        QCoreApplication::quit();
    }
}

void ApplicationController::handleRequest(const LaunchRequest& request) {
    if (!request.localTerminal) {
        showConfiguration();
        return;
    }
    open(std::nullopt, request.program, request.title);
}

void ApplicationController::installMenuBar(QMenuBar* bar) {
    menuBars_.push_back(bar);
    connect(bar, &QObject::destroyed, this, [this, bar] {
        menuBars_.erase(std::remove(menuBars_.begin(), menuBars_.end(), bar), menuBars_.end());
    });
    populate(bar);
}

void ApplicationController::buildMenu() {
    for (QMenuBar* bar : menuBars_)
        populate(bar);
}

void ApplicationController::populate(QMenuBar* bar) {
    bar->clear();
    QMenu* app = bar->addMenu(QStringLiteral("Tarvik"));
    app->addAction(L("About") + QStringLiteral(" Tarvik"), this, &ApplicationController::about);
    app->addSeparator();
    app->addAction(L("Quit") + QStringLiteral(" Tarvik"), command(Qt::Key_Q), this, &ApplicationController::quit);

    QMenu* file = bar->addMenu(L("File"));
    file->addAction(L("New Session…"), command(Qt::Key_N), this, &ApplicationController::showConfiguration);
    file->addAction(L("Local Terminal"), command(Qt::Key_T), this, &ApplicationController::localTerminal);
    file->addAction(L("Close Tab"), command(Qt::Key_W), this, &ApplicationController::closeWindow);
    file->addSeparator();
    file->addAction(L("Import SSH config…"), this, &ApplicationController::importSSH);
    file->addAction(L("Import profiles…"), this, [this] { configuration_->chooseImport(); });
    file->addAction(L("Export profiles…"), this, [this] { configuration_->chooseExport(); });

    QMenu* edit = bar->addMenu(L("Edit"));
    edit->addAction(L("Copy"), command(Qt::Key_C), this,
                    [] { toFocused([](HostedTerminal& t) { t.copy(); }, [](QLineEdit& f) { f.copy(); }); });
    edit->addAction(L("Paste"), command(Qt::Key_V), this,
                    [] { toFocused([](HostedTerminal& t) { t.paste(); }, [](QLineEdit& f) { f.paste(); }); });
    edit->addAction(L("Select All"), command(Qt::Key_A), this,
                    [] { toFocused([](HostedTerminal& t) { t.selectAll(); }, [](QLineEdit& f) { f.selectAll(); }); });

    QMenu* session = bar->addMenu(L("Session"));
    session->addAction(L("Reconnect"), command(Qt::Key_R), this, &ApplicationController::reconnect);
    session->addAction(L("Disconnect"), this, &ApplicationController::disconnect);

    QMenu* language = bar->addMenu(L("Language"));
    auto* languages = new QActionGroup(language);
    const QString current = UISettings().language();
    for (const Language& entry : UISettings::languages()) {
        QAction* item = language->addAction(entry.displayName, this, [this, code = entry.code] { setLanguage(code); });
        item->setCheckable(true);
        item->setChecked(entry.code == current);
        item->setData(entry.code);
        languages->addAction(item);
    }

    QMenu* theme = bar->addMenu(L("Theme"));
    auto* themes = new QActionGroup(theme);
    const QString appearance = UISettings().appearance();
    for (const auto& [value, title] : {std::pair{QStringLiteral("system"), QStringLiteral("System")},
                                       std::pair{QStringLiteral("light"), QStringLiteral("Light")},
                                       std::pair{QStringLiteral("dark"), QStringLiteral("Dark")}}) {
        QAction* item = theme->addAction(L(title), this, [this, value = value] { setTheme(value); });
        item->setCheckable(true);
        item->setChecked(value == appearance);
        item->setData(value);
        themes->addAction(item);
    }

    QMenu* helpMenu = bar->addMenu(L("Help"));
    helpMenu->addAction(L("Help"), this, &ApplicationController::help);
    if (StoreSupport::enabled()) {
        helpMenu->addAction(L("Privacy Policy"), this,
                            [this] { openLinkIfSafe(QString::fromUtf8(BuildInfo::privacyURL)); });
        helpMenu->addAction(L("Support"), this, [this] { openLinkIfSafe(QString::fromUtf8(BuildInfo::supportURL)); });
    }
}

} // namespace tarvik
