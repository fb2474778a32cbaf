#pragma once

#include "app/session/CategoryNode.h"
#include "app/session/ConfigurationControls.h"
#include "core/Connection.h"

#include <QMainWindow>

#include <array>
#include <string>

class QComboBox;
class QFileDialog;
class QLabel;
class QListWidget;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace tarvik {

class ApplicationController;
class ColourButton;

// The main window: a category tree on the left, one page of controls on the
// right. Every control edits the draft (a working copy of one profile) or an
// interface setting; the draft reaches the store only on Save. Values travel
// from the controls to the draft through syncDraft alone, and everything that
// leaves a page calls it first, so nothing typed is lost. Closing or Cancel
// only hides the window; the draft survives.
class ConfigurationWindowController : public QMainWindow {
    Q_OBJECT

  public:
    // The name under which the default profile is meant, never translated.
    static inline const std::string defaultSettings = "Default Settings";

    explicit ConfigurationWindowController(ApplicationController& application);
    ~ConfigurationWindowController() override;

    const Connection& draft() const { return draft_; }
    const std::string& savedName() const { return savedName_; }
    const QString& page() const { return page_; }
    const std::string& networkHost() const { return networkHost_; }
    const std::string& serialLine() const { return serialLine_; }

    // Shows the page of a category, as selecting it in the tree does.
    void showPage(const QString& key);
    // Copies every control of the page shown into the draft or the settings.
    void syncDraft();

    // Buttons and menu items.
    void openSession();
    void cancel();
    void loadSession();
    void saveSession();
    void deleteSession();
    void loadAndOpen();
    void protocolChanged(int tag);
    void closePolicyChanged(int tag);
    void checkChanged();
    void controlTextDidEndEditing();
    void addTunnel();
    void removeTunnel();
    void browseKey();
    void browseLog();
    void choose(QFileDialog& panel, bool forWriting, const QString& fieldIdentifier);
    void clearLog();
    void fontChanged(const QString& identifier);
    void terminalColourChanged(int tag, const QColor& colour);
    void resetTerminalColours();
    void languageChanged(int index);
    void themeChanged(int index);
    void chooseImport();
    void chooseExport();

    // The whole content again, in the current language and theme; the draft,
    // the page, the saved name and the remembered host and line are kept.
    void rebuild();
    // The saved-sessions list again, from the store.
    void reloadSessions();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildContent();
    QWidget* buildHeader();
    QWidget* buildBody();
    QWidget* buildBottomRow();
    void buildPage();
    void pageSelected(QTreeWidgetItem* item);
    void addNodes(QTreeWidgetItem* parent, const std::vector<CategoryNode>& nodes);

    // The pages, each filling a column.
    void buildSessionPage(QVBoxLayout* page);
    void buildLoggingPage(QVBoxLayout* page);
    void buildTerminalPage(QVBoxLayout* page);
    void buildAppearancePage(QVBoxLayout* page);
    void buildSerialPage(QVBoxLayout* page);
    void buildDataPage(QVBoxLayout* page);
    void buildUserNameOnly(QVBoxLayout* page);
    void buildSSHPage(QVBoxLayout* page);
    void buildAuthenticationPage(QVBoxLayout* page);
    void buildTunnelsPage(QVBoxLayout* page);
    QWidget* destinationBox();
    QWidget* storedSessionsBox();
    QWidget* closePolicyBox();
    QComboBox* themePopup();
    void offerSerialLines(const QString& id);
    void reloadTunnels();
    void refreshPreview();
    void setSessionNameField(const QString& text);

    ApplicationController& application_;
    Connection draft_;
    std::string savedName_;
    QString page_ = QStringLiteral("Session");
    std::string networkHost_;
    std::string serialLine_;
    ConfigurationControls controls_;

    QTreeWidget* outline_ = nullptr;
    QScrollArea* pageArea_ = nullptr;
    QListWidget* savedTable_ = nullptr;
    QListWidget* tunnelTable_ = nullptr;
    QComboBox* forwardType_ = nullptr;
    QComboBox* languagePopup_ = nullptr;
    QComboBox* themePopup_ = nullptr;
    std::array<ColourButton*, 2> colourWells_{};
    QLabel* preview_ = nullptr;
    // Set while controls are replaced: their last signals change nothing.
    bool building_ = false;
};

} // namespace tarvik
