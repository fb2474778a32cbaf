#pragma once

#include "app/store/StoreSupportService.h"
#include "core/Connection.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QMenuBar;
class QWidget;

namespace tarvik {

class ConfigurationWindowController;
struct LaunchRequest;
class DialogFileChooser;
class StoreSupportService;
class ProfileStore;
class Prompts;
class SessionFrame;
class SessionWindowController;

// The application: the profile store, the configuration window, the open sessions
// in their tab frames, the menus, and the rules for opening and quitting.
class ApplicationController : public QObject {
    Q_OBJECT

  public:
    // Loads the profile store at once; the windows come with `launch`. The
    // options say where file access looks for the user's ssh folder.
    explicit ApplicationController(std::unique_ptr<Prompts> prompts, StoreSupportOptions storeOptions = {});
    ~ApplicationController() override;

    // Everything after the event loop has started: fonts, appearance, menus, the
    // configuration window, then the profile file's load error if there was one.
    void launch(bool showConfigurationWindow = true);

    // Opens a profile (nothing: a local terminal, running `program` instead of the
    // login shell when given) in a new tab; every failure is shown here.
    void open(std::optional<Connection> connection, const QStringList& program = {}, const QString& title = {});
    void showError(const QString& message);

    void showConfiguration();
    void localTerminal();
    void closeWindow();
    void reconnect();
    void disconnect();
    void setLanguage(const QString& code);
    void setTheme(const QString& appearance);
    void about();
    void help();
    void importProfiles(const QString& path);
    void exportProfiles(const QString& path);
    // Appends the Host aliases of the user's ssh configuration whose host no
    // stored profile has yet; errors are shown, success says nothing.
    void importSSH();

    // Asks once when a session still runs; on yes every child is told to end.
    bool confirmQuit();
    // The quit command: confirmation, then the event loop ends.
    void quit();

    // A later `tarvik` start handed this request over.
    void handleRequest(const LaunchRequest& request);

    // Menus: every window shows the same actions.
    void installMenuBar(QMenuBar* bar);

    ProfileStore& store() { return *store_; }
    StoreSupportService& storeSupport() { return *storeSupport_; }
    const std::vector<SessionWindowController*>& terminals() const { return terminals_; }
    std::vector<SessionFrame*> frames() const;
    SessionFrame* frameOf(SessionWindowController* session) const;
    ConfigurationWindowController* configuration() const { return configuration_; }

    // The Skiv engine beside this program, or next to it in libexec; empty when missing.
    std::string skivPath() const;

    // Called by sessions and frames.
    void closeSession(SessionWindowController* session);
    void forget(SessionWindowController* session);
    bool isLastVisibleWindow(QWidget* window) const;
    void windowClosed(QWidget* window);

  private:
    void buildMenu();
    void populate(QMenuBar* bar);
    SessionWindowController* keySession() const;
    SessionFrame* newestVisibleFrame() const;
    void relocalizeAll();
    // Store distribution: grants for the key and the log; false when the user declined.
    bool authorizeFiles(Connection& profile);
    void openLinkIfSafe(const QString& address);

    std::unique_ptr<Prompts> prompts_;
    std::unique_ptr<DialogFileChooser> chooser_;
    std::unique_ptr<StoreSupportService> storeSupport_;
    std::unique_ptr<ProfileStore> store_;
    ConfigurationWindowController* configuration_ = nullptr;
    std::vector<SessionWindowController*> terminals_;
    std::vector<QMenuBar*> menuBars_;
    bool quitting_ = false;
};

} // namespace tarvik
