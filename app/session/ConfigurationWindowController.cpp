#include "app/session/ConfigurationWindowController.h"

#include "app/session/ApplicationController.h"
#include "app/session/ColourButton.h"
#include "app/session/SerialLines.h"
#include "app/settings/Localization.h"
#include "app/settings/Preferences.h"
#include "app/settings/SettingsNotification.h"
#include "app/settings/TerminalFonts.h"
#include "app/settings/UISettings.h"
#include "app/store/ProfileStore.h"
#include "app/store/StoreSupportService.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvik {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string s(const QString& text) {
    return text.toStdString();
}

const std::array<QString, 3> appearances{QStringLiteral("system"), QStringLiteral("light"), QStringLiteral("dark")};

// A profile saved under a new name keeps its identifier only while no other
// stored profile has it: a profile started from the defaults, or a renamed
// copy of a stored one, would otherwise share the identifier it came with.
Uuid identifierForSave(const Connection& draft, const std::string& name, const std::vector<Connection>& stored) {
    const auto replaced =
        std::find_if(stored.begin(), stored.end(), [&](const Connection& c) { return c.name == name; });
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (it != replaced && it->id == draft.id)
            return Uuid::random();
    }
    return draft.id;
}

} // namespace

ConfigurationWindowController::ConfigurationWindowController(ApplicationController& application)
    : application_(application), draft_(application.store().defaults()), serialLine_(s(SerialLines::initial)) {
    if (draft_.protocolKind == ConnectionProtocol::serial) {
        if (!draft_.host.empty())
            serialLine_ = draft_.host;
    } else {
        networkHost_ = draft_.host;
    }
    controls_.onTextEdited = [this] { controlTextDidEndEditing(); };
    controls_.onCheckChanged = [this] { checkChanged(); };

    setObjectName(QStringLiteral("configuration"));
    resize(850, 690);
    setMinimumSize(790, 680);
    if (const QScreen* screen = this->screen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    application_.installMenuBar(menuBar());

    // Open is the default button and Cancel the escape button, as in a dialog.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                &ConfigurationWindowController::openSession);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &ConfigurationWindowController::cancel);

    buildContent();
}

ConfigurationWindowController::~ConfigurationWindowController() {
    // The controls call back into members that are about to go: they go first.
    building_ = true;
    delete takeCentralWidget();
}

// ---------------------------------------------------------------- content

void ConfigurationWindowController::rebuild() {
    buildContent();
}

void ConfigurationWindowController::buildContent() {
    building_ = true;
    if (QWidget* old = centralWidget()) {
        // The old content may hold the control whose signal brought us here.
        old->hide();
        takeCentralWidget();
        old->deleteLater();
    }
    controls_.clear();
    pageArea_ = nullptr;
    setWindowTitle(QStringLiteral("Tarvik ") + L("Configuration"));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(12);
    column->addWidget(buildHeader());
    column->addWidget(buildBody(), 1);
    column->addWidget(buildBottomRow());
    setCentralWidget(content);
    building_ = false;
    buildPage();
}

QWidget* ConfigurationWindowController::buildHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* name = new QLabel(QStringLiteral("Tarvik"));
    QFont large = name->font();
    large.setPixelSize(20);
    large.setBold(true);
    name->setFont(large);
    row->addWidget(name);
    row->addStretch(1);

    row->addWidget(new QLabel(L("Language")));
    languagePopup_ = new QComboBox;
    languagePopup_->setObjectName(QStringLiteral("language"));
    for (const Language& language : UISettings::languages())
        languagePopup_->addItem(language.displayName, language.code);
    languagePopup_->setCurrentIndex(std::max(0, UISettings::languageIndex(UISettings().language())));
    connect(languagePopup_, &QComboBox::activated, this, &ConfigurationWindowController::languageChanged);
    row->addWidget(languagePopup_);
    row->addSpacing(12);

    row->addWidget(new QLabel(L("Theme")));
    themePopup_ = themePopup();
    themePopup_->setObjectName(QStringLiteral("theme"));
    row->addWidget(themePopup_);
    return header;
}

QComboBox* ConfigurationWindowController::themePopup() {
    auto* popup = new QComboBox;
    for (const char* title : {"System", "Light", "Dark"})
        popup->addItem(L(title));
    const auto stored = std::find(appearances.begin(), appearances.end(), UISettings().appearance());
    popup->setCurrentIndex(stored == appearances.end() ? 0 : int(stored - appearances.begin()));
    connect(popup, &QComboBox::activated, this, &ConfigurationWindowController::themeChanged);
    return popup;
}

QWidget* ConfigurationWindowController::buildBody() {
    auto* body = new QWidget;
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);

    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    left->addWidget(new QLabel(L("Category") + QLatin1Char(':')));
    outline_ = new QTreeWidget;
    outline_->setObjectName(QStringLiteral("categories"));
    outline_->setHeaderHidden(true);
    outline_->setColumnCount(1);
    outline_->setIndentation(12);
    outline_->setRootIsDecorated(true);
    outline_->setUniformRowHeights(true);
    outline_->setStyleSheet(QStringLiteral("QTreeView::item { min-height: 23px; }"));
    addNodes(nullptr, CategoryNode::tree());
    outline_->expandAll();
    // 180 wide, or as wide as the longest category name in this language.
    int widest = 0;
    for (QTreeWidgetItemIterator it(outline_); *it != nullptr; ++it) {
        int levels = 1; // the roots are indented too, for their expanders
        for (const QTreeWidgetItem* up = (*it)->parent(); up != nullptr; up = up->parent())
            ++levels;
        widest = std::max(widest, levels * outline_->indentation() +
                                      outline_->fontMetrics().horizontalAdvance((*it)->text(0)));
    }
    outline_->setFixedWidth(std::max(180, widest + 2 * outline_->frameWidth() + 16));
    // A tree on its way out (after a rebuild) may still report a current item.
    connect(outline_, &QTreeWidget::currentItemChanged, this, [this, tree = outline_](QTreeWidgetItem* current) {
        if (tree == outline_)
            pageSelected(current);
    });
    left->addWidget(outline_, 1);
    row->addLayout(left);

    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    auto* inside = new QVBoxLayout(frame);
    inside->setContentsMargins(14, 14, 14, 14);
    pageArea_ = new QScrollArea;
    pageArea_->setFrameShape(QFrame::NoFrame);
    pageArea_->setWidgetResizable(true);
    pageArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    inside->addWidget(pageArea_);
    row->addWidget(frame, 1);
    return body;
}

void ConfigurationWindowController::addNodes(QTreeWidgetItem* parent, const std::vector<CategoryNode>& nodes) {
    for (const CategoryNode& node : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(outline_);
        item->setText(0, L(node.key));
        item->setData(0, Qt::UserRole, node.key);
        if (node.key == page_)
            outline_->setCurrentItem(item);
        addNodes(item, node.children);
    }
}

QWidget* ConfigurationWindowController::buildBottomRow() {
    auto* bottom = new QWidget;
    auto* row = new QHBoxLayout(bottom);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(ConfigurationControls::button("About", [this] { application_.about(); }));
    row->addWidget(ConfigurationControls::button("Help", [this] { application_.help(); }));
    auto* more = new QPushButton(QStringLiteral("⋯"));
    more->setObjectName(QStringLiteral("more"));
    more->setAutoDefault(false);
    more->setFixedWidth(48);
    auto* menu = new QMenu(more);
    menu->addAction(L("Import SSH config…"), this, [this] { application_.importSSH(); });
    menu->addAction(L("Import profiles…"), this, &ConfigurationWindowController::chooseImport);
    menu->addAction(L("Export profiles…"), this, &ConfigurationWindowController::chooseExport);
    more->setMenu(menu);
    row->addWidget(more);
    row->addStretch(1);
    QPushButton* open = ConfigurationControls::button("Open", [this] { openSession(); });
    open->setDefault(true);
    row->addWidget(open);
    row->addWidget(ConfigurationControls::button("Cancel", [this] { cancel(); }));
    return bottom;
}

void ConfigurationWindowController::showPage(const QString& key) {
    for (QTreeWidgetItemIterator it(outline_); *it != nullptr; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == key) {
            outline_->setCurrentItem(*it);
            return;
        }
    }
}

void ConfigurationWindowController::pageSelected(QTreeWidgetItem* item) {
    if (building_ || item == nullptr)
        return;
    syncDraft();
    page_ = item->data(0, Qt::UserRole).toString();
    buildPage();
}

// ---------------------------------------------------------------- draft

void ConfigurationWindowController::syncDraft() {
    if (building_)
        return;
    const auto text = [this](const char* id) -> std::optional<std::string> {
        if (QLineEdit* field = controls_.fieldFor(QString::fromLatin1(id)))
            return s(field->text());
        return std::nullopt;
    };
    const auto copy = [&](const char* id, std::string& target) {
        if (auto value = text(id))
            target = std::move(*value);
    };
    copy("host", draft_.host);
    if (auto line = text("serialLine")) {
        serialLine_ = *line;
        if (draft_.protocolKind == ConnectionProtocol::serial)
            draft_.host = *line;
    }
    copy("port", draft_.port);
    copy("baud", draft_.serialBaud);
    copy("username", draft_.username);
    copy("key", draft_.identityFile);
    copy("terminal", draft_.terminalType);
    copy("log", draft_.logFile);
    if (auto name = text("sessionName"))
        savedName_ = q(*name) == L("Default Settings") ? defaultSettings : *name;
    // Only a size the user typed is stored: the field shows the size rounded,
    // and leaving the page must not round the stored size.
    if (QLineEdit* size = controls_.fieldFor(QStringLiteral("fontSize")); size != nullptr && size->isModified()) {
        bool parsed = false;
        const double points = size->text().toDouble(&parsed);
        if (parsed && points >= 9 && points <= 32)
            UISettings().setFontSize(points);
    }

    const auto check = [this](const char* id, bool& target) {
        if (QCheckBox* box = controls_.checkFor(QString::fromLatin1(id)))
            target = box->isChecked();
    };
    check("keepalive", draft_.keepAlive);
    check("engine", draft_.orvelEngine);
    check("compression", draft_.compression);
    check("password", draft_.passwordOnly);
    check("agent", draft_.agentForwarding);
    check("backspace", draft_.backspaceDel);
    if (QCheckBox* meta = controls_.checkFor(QStringLiteral("meta")))
        UISettings().setOptionAsMeta(meta->isChecked());
}

void ConfigurationWindowController::controlTextDidEndEditing() {
    if (building_)
        return;
    syncDraft();
    SettingsNotification::post();
}

void ConfigurationWindowController::checkChanged() {
    syncDraft();
    SettingsNotification::post();
}

void ConfigurationWindowController::setSessionNameField(const QString& text) {
    if (QLineEdit* field = controls_.fieldFor(QStringLiteral("sessionName")))
        field->setText(text);
}

// ---------------------------------------------------------------- actions

void ConfigurationWindowController::openSession() {
    syncDraft();
    draft_.name = savedName_;
    if (page_ == QLatin1String("Serial")) {
        // The host typed for a network protocol is remembered, as a switch would.
        if (draft_.protocolKind != ConnectionProtocol::serial)
            networkHost_ = draft_.host;
        draft_.protocolKind = ConnectionProtocol::serial;
        draft_.host = serialLine_;
    }
    application_.open(draft_);
}

void ConfigurationWindowController::cancel() {
    close();
}

void ConfigurationWindowController::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    application_.windowClosed(this);
}

void ConfigurationWindowController::loadSession() {
    const int row = savedTable_ != nullptr ? savedTable_->currentRow() : -1;
    const std::vector<Connection>& profiles = application_.store().profiles();
    if (row == 0) {
        draft_ = application_.store().defaults();
        savedName_ = defaultSettings;
    } else if (row >= 1 && std::size_t(row - 1) < profiles.size()) {
        draft_ = profiles[std::size_t(row - 1)];
        savedName_ = draft_.name;
    } else {
        return;
    }
    if (draft_.protocolKind == ConnectionProtocol::serial)
        serialLine_ = draft_.host;
    else
        networkHost_ = draft_.host;
    buildPage();
}

void ConfigurationWindowController::loadAndOpen() {
    loadSession();
    if (!draft_.host.empty())
        openSession();
}

void ConfigurationWindowController::saveSession() {
    syncDraft();
    const std::string name = s(q(savedName_).trimmed());
    const bool defaultsRow = savedTable_ != nullptr && savedTable_->currentRow() == 0;
    if (name == defaultSettings || (name.empty() && defaultsRow)) {
        Connection defaults = draft_;
        defaults.host.clear();
        defaults.name.clear();
        application_.store().setDefaults(defaults);
        savedName_ = defaultSettings;
        setSessionNameField(L("Default Settings"));
        return;
    }
    if (name.empty()) {
        application_.showError(QStringLiteral("Session name is required."));
        return;
    }
    try {
        Connection candidate = draft_;
        candidate.name = name;
        candidate.id = identifierForSave(candidate, name, application_.store().profiles());
        application_.store().save(candidate.validated());
        draft_.name = name;
        draft_.id = candidate.id;
    } catch (const std::exception& error) {
        application_.showError(QString::fromStdString(error.what()));
        return;
    }
    savedName_ = name;
    setSessionNameField(q(name));
    reloadSessions();
}

void ConfigurationWindowController::deleteSession() {
    const int row = savedTable_ != nullptr ? savedTable_->currentRow() : -1;
    try {
        if (!application_.store().deleteRow(row))
            return;
    } catch (const std::exception& error) {
        application_.showError(QString::fromStdString(error.what()));
        return;
    }
    savedName_.clear();
    setSessionNameField(QString());
    reloadSessions();
}

void ConfigurationWindowController::reloadSessions() {
    if (savedTable_ == nullptr)
        return;
    savedTable_->clear();
    savedTable_->addItem(L("Default Settings"));
    const std::vector<Connection>& profiles = application_.store().profiles();
    int selected = 0;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        savedTable_->addItem(L(q(profiles[i].title())));
        if (selected == 0 && profiles[i].name == savedName_)
            selected = int(i) + 1;
    }
    savedTable_->setCurrentRow(selected);
}

void ConfigurationWindowController::protocolChanged(int tag) {
    if (tag < 0 || std::size_t(tag) >= allConnectionProtocols.size())
        return;
    syncDraft();
    const ConnectionProtocol old = draft_.protocolKind;
    const ConnectionProtocol chosen = allConnectionProtocols[std::size_t(tag)];
    if (draft_.port.empty() || draft_.port == defaultPort(old))
        draft_.port = std::string(defaultPort(chosen));
    const bool wasSerial = old == ConnectionProtocol::serial;
    const bool isSerial = chosen == ConnectionProtocol::serial;
    if (isSerial && !wasSerial) {
        networkHost_ = draft_.host;
        draft_.host = serialLine_;
    } else if (wasSerial && !isSerial) {
        serialLine_ = draft_.host;
        draft_.host = networkHost_;
    }
    draft_.protocolKind = chosen;
    buildPage();
}

void ConfigurationWindowController::closePolicyChanged(int tag) {
    syncDraft();
    if (tag >= 0 && std::size_t(tag) < allClosePolicies.size())
        draft_.closeOnExit = allClosePolicies[std::size_t(tag)];
}

void ConfigurationWindowController::addTunnel() {
    syncDraft();
    ForwardRule rule;
    const int kind = forwardType_ != nullptr ? std::max(0, forwardType_->currentIndex()) : 0;
    rule.kind = allForwardKinds[std::size_t(std::min(kind, int(allForwardKinds.size()) - 1))];
    if (QLineEdit* field = controls_.fieldFor(QStringLiteral("tunnel")))
        rule.specification = s(field->text());
    // An unfinished host must not keep the user from adding tunnels.
    Connection trial = draft_;
    trial.forwards.push_back(rule);
    if (trial.host.empty())
        trial.host = "localhost";
    try {
        (void)trial.validated();
    } catch (const std::exception& error) {
        application_.showError(QString::fromStdString(error.what()));
        return;
    }
    draft_.forwards.push_back(rule);
    if (QLineEdit* field = controls_.fieldFor(QStringLiteral("tunnel")))
        field->clear();
    reloadTunnels();
}

void ConfigurationWindowController::removeTunnel() {
    syncDraft();
    const int row = tunnelTable_ != nullptr ? tunnelTable_->currentRow() : -1;
    if (row < 0 || std::size_t(row) >= draft_.forwards.size())
        return;
    draft_.forwards.erase(draft_.forwards.begin() + row);
    reloadTunnels();
}

void ConfigurationWindowController::reloadTunnels() {
    if (tunnelTable_ == nullptr)
        return;
    tunnelTable_->clear();
    for (const ForwardRule& rule : draft_.forwards)
        tunnelTable_->addItem(q(std::string(flag(rule.kind)) + ' ' + rule.specification));
}

void ConfigurationWindowController::browseKey() {
    QFileDialog panel(this, L("Private key file for authentication"), QDir::home().filePath(QStringLiteral(".ssh")));
    panel.setFileMode(QFileDialog::ExistingFile);
    // Keys live among dot files; the platform's own panel may not show them.
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setFilter(panel.filter() | QDir::Hidden);
    choose(panel, false, QStringLiteral("key"));
}

void ConfigurationWindowController::browseLog() {
    QFileDialog panel(this, L("Session output log (optional)"), QDir::homePath());
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.selectFile(QStringLiteral("Tarvik-session.log"));
    choose(panel, true, QStringLiteral("log"));
}

// The chosen file is remembered for later runs before the field shows it.
void ConfigurationWindowController::choose(QFileDialog& panel, bool forWriting, const QString& fieldIdentifier) {
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return;
    const QString path = panel.selectedFiles().front();
    try {
        application_.storeSupport().remember(s(path), forWriting);
    } catch (const std::exception& error) {
        application_.showError(QString::fromStdString(error.what()));
        return;
    }
    if (QLineEdit* field = controls_.fieldFor(fieldIdentifier))
        field->setText(path);
    syncDraft();
}

void ConfigurationWindowController::clearLog() {
    if (QLineEdit* field = controls_.fieldFor(QStringLiteral("log")))
        field->clear();
    draft_.logFile.clear();
}

void ConfigurationWindowController::fontChanged(const QString& identifier) {
    syncDraft();
    if (identifier == QLatin1String("system") || TerminalFonts::resolve(identifier, 14))
        UISettings().setTerminalFont(identifier);
    SettingsNotification::post();
    buildPage();
}

void ConfigurationWindowController::terminalColourChanged(int tag, const QColor& colour) {
    UISettings().setTerminalColour(colour, tag == 0);
    refreshPreview();
    SettingsNotification::post();
}

void ConfigurationWindowController::resetTerminalColours() {
    Preferences::shared().remove(QStringLiteral("terminalBackground"));
    Preferences::shared().remove(QStringLiteral("terminalForeground"));
    if (colourWells_[0] != nullptr)
        colourWells_[0]->setColour(QColor::fromRgb(UISettings::defaultBackground));
    if (colourWells_[1] != nullptr)
        colourWells_[1]->setColour(QColor::fromRgb(UISettings::defaultForeground));
    refreshPreview();
    SettingsNotification::post();
}

void ConfigurationWindowController::refreshPreview() {
    if (preview_ == nullptr)
        return;
    const UISettings settings;
    preview_->setFont(TerminalFonts::current(settings));
    QPalette colours = preview_->palette();
    colours.setColor(QPalette::Window, settings.terminalBackground());
    colours.setColor(QPalette::WindowText, settings.terminalForeground());
    preview_->setPalette(colours);
}

void ConfigurationWindowController::languageChanged(int index) {
    if (index < 0 || std::size_t(index) >= UISettings::languages().size())
        return;
    // The application copies the page into the draft before the language changes.
    application_.setLanguage(UISettings::languages()[std::size_t(index)].code);
}

void ConfigurationWindowController::themeChanged(int index) {
    if (index < 0 || std::size_t(index) >= appearances.size())
        return;
    application_.setTheme(appearances[std::size_t(index)]);
}

void ConfigurationWindowController::chooseImport() {
    syncDraft();
    const QString path = QFileDialog::getOpenFileName(this, L("Import profiles…"), QString(), "JSON (*.json)");
    if (!path.isEmpty())
        application_.importProfiles(path);
}

void ConfigurationWindowController::chooseExport() {
    syncDraft();
    const QString path =
        QFileDialog::getSaveFileName(this, L("Export profiles…"), "Tarvik-sessions.json", "JSON (*.json)");
    if (!path.isEmpty())
        application_.exportProfiles(path);
}

} // namespace tarvik
