// The pages of the configuration window: one builder per page, each showing
// the draft's and the settings' values; the controller's actions read them
// back through syncDraft.

#include "app/session/ColourButton.h"
#include "app/session/ConfigurationWindowController.h"
#include "app/session/SerialLines.h"
#include "app/settings/Localization.h"
#include "app/settings/TerminalFonts.h"
#include "app/settings/UISettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace tarvik {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QHBoxLayout* rowOf(std::initializer_list<QWidget*> widgets, bool trailingStretch = false) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    if (trailingStretch)
        row->addStretch(1);
    return row;
}

// A group of radio buttons in a row; the button's position is its tag.
QWidget* radioRow(const std::vector<QString>& titles, const std::vector<QString>& names, int checked,
                  QObject* receiver, std::function<void(int)> action) {
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(13);
    auto* group = new QButtonGroup(holder);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        auto* radio = new QRadioButton(titles[i]);
        radio->setObjectName(names[i]);
        radio->setChecked(int(i) == checked);
        group->addButton(radio, int(i));
        row->addWidget(radio);
    }
    row->addStretch(1);
    QObject::connect(group, &QButtonGroup::idClicked, receiver, std::move(action));
    return holder;
}

// Rows of about 22 pixels, with room beside the text.
constexpr const char* listRows = "QListView::item { padding: 2px 4px; }";

// A labelled field of a given width, widened only as far as its label needs.
QWidget* narrow(QWidget* group, int width) {
    int needed = width;
    if (const auto* caption = group->findChild<QLabel*>())
        needed = std::max(needed, caption->sizeHint().width());
    group->setFixedWidth(needed);
    return group;
}

} // namespace

void ConfigurationWindowController::buildPage() {
    if (pageArea_ == nullptr)
        return;
    building_ = true;
    if (QWidget* old = pageArea_->widget()) {
        old->hide();
        pageArea_->takeWidget();
        old->deleteLater();
    }
    controls_.clear();
    savedTable_ = nullptr;
    tunnelTable_ = nullptr;
    forwardType_ = nullptr;
    colourWells_ = {};
    preview_ = nullptr;

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("page"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 4, 0);
    column->setSpacing(10);
    auto* heading = new QLabel(page_ == QLatin1String("Session") ? L("Basic options for your session") : L(page_));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    column->addWidget(heading);
    auto* separator = new QFrame;
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    column->addWidget(separator);

    const QString& key = page_;
    if (key == QLatin1String("Session"))
        buildSessionPage(column);
    else if (key == QLatin1String("Logging"))
        buildLoggingPage(column);
    else if (key == QLatin1String("Terminal") || key == QLatin1String("Keyboard"))
        buildTerminalPage(column);
    else if (key == QLatin1String("Window") || key == QLatin1String("Appearance") || key == QLatin1String("Colours"))
        buildAppearancePage(column);
    else if (key == QLatin1String("Serial"))
        buildSerialPage(column);
    else if (key == QLatin1String("Data"))
        buildDataPage(column);
    else if (key == QLatin1String("SSH"))
        buildSSHPage(column);
    else if (key == QLatin1String("Authentication"))
        buildAuthenticationPage(column);
    else if (key == QLatin1String("Tunnels"))
        buildTunnelsPage(column);
    else if (key == QLatin1String("Connection"))
        buildUserNameOnly(column);
    column->addStretch(1);
    pageArea_->setWidget(content);
    building_ = false;
}

// ---------------------------------------------------------------- Session

void ConfigurationWindowController::buildSessionPage(QVBoxLayout* page) {
    page->addWidget(destinationBox());
    page->addWidget(storedSessionsBox());
    page->addWidget(closePolicyBox());
    reloadSessions();
}

QWidget* ConfigurationWindowController::destinationBox() {
    const bool serial = draft_.protocolKind == ConnectionProtocol::serial;
    auto* content = new QVBoxLayout;
    content->setSpacing(8);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    if (serial) {
        row->addWidget(controls_.labeled("Serial line", "serialLine", q(serialLine_)), 1);
        offerSerialLines(QStringLiteral("serialLine"));
        row->addWidget(narrow(controls_.labeled("Speed (baud)", "baud", q(draft_.serialBaud)), 94));
    } else {
        row->addWidget(controls_.labeled("Host Name (or IP address)", "host", q(draft_.host)), 1);
        row->addWidget(narrow(controls_.labeled("Port", "port", q(draft_.port)), 94));
    }
    content->addLayout(row);
    content->addWidget(new QLabel(L("Connection type") + QLatin1Char(':')));

    std::vector<QString> titles;
    std::vector<QString> names;
    int checked = -1;
    for (std::size_t i = 0; i < allConnectionProtocols.size(); ++i) {
        const QString raw = QString::fromLatin1(rawValue(allConnectionProtocols[i]).data());
        titles.push_back(L(raw));
        names.push_back(QStringLiteral("protocol") + raw);
        if (allConnectionProtocols[i] == draft_.protocolKind)
            checked = int(i);
    }
    content->addWidget(radioRow(titles, names, checked, this, [this](int tag) { protocolChanged(tag); }));
    if (draft_.protocolKind == ConnectionProtocol::SSH)
        content->addWidget(controls_.labeled("Auto-login username", "username", q(draft_.username)));
    return ConfigurationControls::box("Specify the destination you want to connect to", content);
}

QWidget* ConfigurationWindowController::storedSessionsBox() {
    auto* content = new QVBoxLayout;
    content->setSpacing(8);
    const QString shown = savedName_ == defaultSettings ? L("Default Settings") : q(savedName_);
    content->addWidget(controls_.labeled("Saved Sessions", "sessionName", shown));

    savedTable_ = new QListWidget;
    savedTable_->setObjectName(QStringLiteral("savedSessions"));
    savedTable_->setMinimumSize(340, 135);
    savedTable_->setUniformItemSizes(true);
    savedTable_->setStyleSheet(QString::fromLatin1(listRows));
    connect(savedTable_, &QListWidget::itemDoubleClicked, this, [this] { loadAndOpen(); });

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    for (const auto& [title, action] :
         {std::pair<const char*, void (ConfigurationWindowController::*)()>{"Load", &ConfigurationWindowController::loadSession},
          {"Save", &ConfigurationWindowController::saveSession},
          {"Delete", &ConfigurationWindowController::deleteSession}}) {
        QPushButton* button = ConfigurationControls::button(title, [this, action = action] { (this->*action)(); });
        button->setMinimumWidth(82);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(savedTable_, 1);
    row->addLayout(buttons);
    content->addLayout(row);
    return ConfigurationControls::box("Load, save or delete a stored session", content);
}

QWidget* ConfigurationWindowController::closePolicyBox() {
    auto* content = new QVBoxLayout;
    int checked = -1;
    for (std::size_t i = 0; i < allClosePolicies.size(); ++i) {
        if (allClosePolicies[i] == draft_.closeOnExit)
            checked = int(i);
    }
    content->addWidget(radioRow({L("Always"), L("Never"), L("Only on clean exit")},
                                {QStringLiteral("closeAlways"), QStringLiteral("closeNever"),
                                 QStringLiteral("closeClean")},
                                checked, this, [this](int tag) { closePolicyChanged(tag); }));
    return ConfigurationControls::box("Close window on exit", content);
}

void ConfigurationWindowController::offerSerialLines(const QString& id) {
    QLineEdit* field = controls_.fieldFor(id);
    if (field == nullptr)
        return;
    field->setCompleter(new QCompleter(SerialLines::present(), field));
}

// ---------------------------------------------------------------- other pages

void ConfigurationWindowController::buildLoggingPage(QVBoxLayout* page) {
    page->addWidget(ConfigurationControls::label("Session output log (optional)"));
    page->addLayout(rowOf({controls_.field("log", q(draft_.logFile)),
                           ConfigurationControls::button("Browse…", [this] { browseLog(); })}));
    page->addWidget(ConfigurationControls::note("Logs may contain sensitive terminal output. Existing files are appended."));
    page->addLayout(rowOf({ConfigurationControls::button("No logging", [this] { clearLog(); })}, true));
}

void ConfigurationWindowController::buildTerminalPage(QVBoxLayout* page) {
    page->addWidget(controls_.labeled("Terminal-type string", "terminal", q(draft_.terminalType)));
    page->addWidget(controls_.checkbox("Backspace sends DEL (127)", "backspace", draft_.backspaceDel));
    page->addWidget(controls_.checkbox("Alt key acts as Meta", "meta", UISettings().optionAsMeta()));
    page->addWidget(ConfigurationControls::note("Unicode (UTF-8), xterm emulation, 10000 lines of scrollback."));
}

void ConfigurationWindowController::buildAppearancePage(QVBoxLayout* page) {
    const UISettings settings;
    auto* fonts = new QComboBox;
    fonts->setObjectName(QStringLiteral("font"));
    auto* model = qobject_cast<QStandardItemModel*>(fonts->model());
    for (const FontChoice& choice : TerminalFonts::choices()) {
        const bool system = choice.identifier == QLatin1String("system");
        fonts->addItem(system ? L("System") : choice.displayName, choice.identifier);
        if (!system && !TerminalFonts::resolve(choice.identifier, 14) && model != nullptr)
            model->item(fonts->count() - 1)->setEnabled(false);
    }
    fonts->setCurrentIndex(std::max(0, fonts->findData(settings.terminalFont())));
    connect(fonts, &QComboBox::activated, this,
            [this, fonts](int index) { fontChanged(fonts->itemData(index).toString()); });
    page->addLayout(rowOf({ConfigurationControls::label("Font"), fonts}, true));
    page->addWidget(ConfigurationControls::note("Lucida Console is available when installed on this system."));

    preview_ = new QLabel(QStringLiteral("AaBb 0123456789  АаБб  → ~ / \\  |"));
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setAutoFillBackground(true);
    preview_->setMargin(8);
    refreshPreview();
    page->addWidget(preview_);

    QWidget* size = controls_.labeled("Font size", "fontSize", QString::number(int(settings.fontSize())));
    page->addLayout(rowOf({narrow(size, 120)}, true));
    page->addWidget(ConfigurationControls::note("Unicode (UTF-8), xterm emulation, 10000 lines of scrollback."));

    auto* wells = new QHBoxLayout;
    wells->setSpacing(8);
    const std::array<QColor, 2> colours{settings.terminalBackground(), settings.terminalForeground()};
    const std::array<const char*, 2> titles{"Terminal background", "Terminal text"};
    const std::array<QString, 2> names{QStringLiteral("terminalBackground"), QStringLiteral("terminalText")};
    for (std::size_t tag = 0; tag < 2; ++tag) {
        auto* well = new ColourButton(L(titles[tag]));
        well->setObjectName(names[tag]);
        well->setColour(colours[tag]);
        connect(well, &ColourButton::colourPicked, this,
                [this, tag](const QColor& colour) { terminalColourChanged(int(tag), colour); });
        colourWells_[tag] = well;
        wells->addWidget(ConfigurationControls::label(titles[tag]));
        wells->addWidget(well);
        wells->addSpacing(16);
    }
    wells->addStretch(1);
    page->addLayout(wells);
    page->addLayout(rowOf({ConfigurationControls::button("Reset terminal colours", [this] { resetTerminalColours(); })},
                          true));
    page->addWidget(ConfigurationControls::note("Colours apply to all open terminals."));
    QComboBox* theme = themePopup();
    theme->setObjectName(QStringLiteral("pageTheme"));
    page->addLayout(rowOf({ConfigurationControls::label("Theme"), theme}, true));
}

void ConfigurationWindowController::buildSerialPage(QVBoxLayout* page) {
    page->addWidget(controls_.labeled("Serial line", "serialLine", q(serialLine_)));
    offerSerialLines(QStringLiteral("serialLine"));
    page->addLayout(rowOf({narrow(controls_.labeled("Speed (baud)", "baud", q(draft_.serialBaud)), 160)}, true));
    page->addWidget(ConfigurationControls::note("Serial format: 8 data bits, no parity, 1 stop bit, no flow control."));
}

void ConfigurationWindowController::buildDataPage(QVBoxLayout* page) {
    buildUserNameOnly(page);
    page->addWidget(ConfigurationControls::note("Leave blank to use SSH config / current user."));
}

void ConfigurationWindowController::buildUserNameOnly(QVBoxLayout* page) {
    page->addWidget(controls_.labeled("Auto-login username", "username", q(draft_.username)));
}

void ConfigurationWindowController::buildSSHPage(QVBoxLayout* page) {
    page->addWidget(controls_.checkbox("Use Orvel engine for SSH", "engine", draft_.orvelEngine));
    page->addWidget(controls_.checkbox("Enable compression", "compression", draft_.compression));
    page->addWidget(ConfigurationControls::note("OPK keys automatically use the bundled Orvel engine."));
    page->addWidget(ConfigurationControls::note("OPK v2/v3 and OpenSSH keys are supported."));
    page->addWidget(controls_.checkbox("Keep connection alive", "keepalive", draft_.keepAlive));
    page->addWidget(ConfigurationControls::note("OpenSSH keepalive: 30 seconds."));
}

void ConfigurationWindowController::buildAuthenticationPage(QVBoxLayout* page) {
    buildUserNameOnly(page);
    page->addWidget(ConfigurationControls::label("Private key file for authentication"));
    page->addLayout(rowOf({controls_.field("key", q(draft_.identityFile)),
                           ConfigurationControls::button("Browse…", [this] { browseKey(); })}));
    page->addWidget(ConfigurationControls::note("OPK v2/v3 and OpenSSH keys are supported."));
    page->addWidget(ConfigurationControls::note("Passphrases are requested in the terminal."));
    page->addWidget(controls_.checkbox("Password authentication only", "password", draft_.passwordOnly));
    page->addWidget(controls_.checkbox("Enable agent forwarding", "agent", draft_.agentForwarding));
}

void ConfigurationWindowController::buildTunnelsPage(QVBoxLayout* page) {
    page->addWidget(ConfigurationControls::label("Forwarded ports"));
    tunnelTable_ = new QListWidget;
    tunnelTable_->setObjectName(QStringLiteral("tunnels"));
    tunnelTable_->setFixedHeight(160);
    tunnelTable_->setStyleSheet(QString::fromLatin1(listRows));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(std::max(8.0, font().pointSizeF() - 1));
    tunnelTable_->setFont(mono);
    page->addWidget(tunnelTable_);

    forwardType_ = new QComboBox;
    forwardType_->setObjectName(QStringLiteral("forwardType"));
    forwardType_->addItems({L("Local"), L("Remote"), QStringLiteral("SOCKS")});
    QLineEdit* tunnel = controls_.field("tunnel", QString());
    tunnel->setPlaceholderText(QStringLiteral("127.0.0.1:8080:localhost:80"));
    page->addLayout(rowOf({forwardType_, tunnel, ConfigurationControls::button("Add", [this] { addTunnel(); }),
                           ConfigurationControls::button("Remove", [this] { removeTunnel(); })}));
    page->addWidget(ConfigurationControls::note("Example: 127.0.0.1:8080:localhost:80; SOCKS: 127.0.0.1:1080"));
    reloadTunnels();
}

} // namespace tarvik
