// The configuration window as the user drives it: typing into its fields,
// clicking its buttons and switching pages, on the real window of a real
// application with its real store.

#include "app/session/ApplicationController.h"
#include "app/session/ConfigurationWindowController.h"
#include "app/session/Prompts.h"
#include "app/session/SerialLines.h"
#include "app/session/SessionFrame.h"
#include "app/session/SessionWindowController.h"
#include "app/settings/Localization.h"
#include "app/settings/Preferences.h"
#include "app/settings/TerminalFonts.h"
#include "app/settings/UISettings.h"
#include "app/store/ProfileStore.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <fstream>
#include <stdlib.h>
#include <unistd.h>

namespace tarvik {
namespace {

class RecordingPrompts : public Prompts {
  public:
    std::vector<QString> errors;
    void showError(const QString& message) override { errors.push_back(message); }
    std::optional<QString> askUserName() override { return std::nullopt; }
    bool confirmQuit() override { return true; }
    void showPanel(const QString&, const QString&, QWidget* accessory) override { delete accessory; }
};

// Pending layouts done and replaced controls gone, as after a turn of the event loop.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class ConfigurationWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        Preferences::shared().clear();
        std::filesystem::remove(ProfileStore::defaultLocation());
        start();
    }
    void TearDown() override {
        app_.reset();
        settle();
        Preferences::shared().clear();
        std::filesystem::remove(ProfileStore::defaultLocation());
    }

    void start() {
        auto prompts = std::make_unique<RecordingPrompts>();
        prompts_ = prompts.get();
        StoreSupportOptions options;
        options.enabled = false;
        options.home = home_.path().toStdString();
        app_ = std::make_unique<ApplicationController>(std::move(prompts), options);
        app_->launch();
        window_ = app_->configuration();
    }

    template <typename Widget> Widget* find(const QString& name) {
        settle();
        return window_->findChild<Widget*>(name);
    }
    QLineEdit* field(const QString& id) { return find<QLineEdit>(id); }
    QString text(const QString& id) {
        QLineEdit* edit = field(id);
        return edit != nullptr ? edit->text() : QStringLiteral("<no field>");
    }
    // Replaces the field's text from the keyboard, as the user does.
    void type(const QString& id, const QString& value) {
        QLineEdit* edit = field(id);
        ASSERT_NE(edit, nullptr) << id.toStdString();
        edit->selectAll();
        if (value.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, value);
    }
    void click(const QString& name) {
        auto* button = find<QAbstractButton>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        button->click();
    }
    void selectSession(int row) {
        auto* list = find<QListWidget>("savedSessions");
        ASSERT_NE(list, nullptr);
        list->setCurrentRow(row);
    }
    void page(const QString& key) {
        window_->showPage(key);
        settle();
        ASSERT_EQ(window_->page(), key);
    }
    // A profile saved through the window.
    void saveSession(const QString& name, const QString& host) {
        page("Session");
        type("host", host);
        type("sessionName", name);
        click("Save");
    }
    const std::vector<Connection>& stored() { return app_->store().profiles(); }

    QTemporaryDir home_;
    RecordingPrompts* prompts_ = nullptr;
    std::unique_ptr<ApplicationController> app_;
    ConfigurationWindowController* window_ = nullptr;
};

TEST_F(ConfigurationWindow, SwitchingToSerialAndBackRestoresHostAndLine) {
    EXPECT_EQ(text("serialLine"), "<no field>");
    type("host", "web.example");
    click("protocolSerial");
    EXPECT_EQ(text("serialLine"), "/dev/ttyUSB0");
    EXPECT_EQ(field("host"), nullptr);
    type("serialLine", "/dev/ttyACM3");
    click("protocolSSH");
    EXPECT_EQ(text("host"), "web.example");
    click("protocolSerial");
    EXPECT_EQ(text("serialLine"), "/dev/ttyACM3");
    EXPECT_EQ(window_->draft().host, "/dev/ttyACM3");
    EXPECT_EQ(window_->draft().protocolKind, ConnectionProtocol::serial);
}

TEST_F(ConfigurationWindow, DefaultPortsFollowTheProtocolUnlessTheUserChangedThePort) {
    struct Step {
        const char* typedPort; // nullptr: leave the field as it is
        const char* protocol;
        const char* expected;
    };
    for (const auto& steps : std::vector<std::vector<Step>>{
             {{nullptr, "Telnet", "23"}, {nullptr, "Rlogin", "513"}, {nullptr, "SSH", "22"}},
             {{"2222", "Telnet", "2222"}, {nullptr, "Raw", "2222"}},
             {{"", "Rlogin", "513"}},
             {{nullptr, "Raw", "23"}, {nullptr, "Telnet", "23"}, {nullptr, "Serial", "22"}, {nullptr, "SSH", "22"}},
         }) {
        click("protocolSSH");
        type("port", "22");
        for (const Step& step : steps) {
            if (step.typedPort != nullptr)
                type("port", step.typedPort);
            click(QStringLiteral("protocol") + step.protocol);
            EXPECT_EQ(window_->draft().port, step.expected) << "switching to " << step.protocol;
        }
    }
}

TEST_F(ConfigurationWindow, SavingUnderTheDefaultsNameStoresDefaultsWithoutHostAndName) {
    for (const char* language : {"en", "de"}) {
        app_->setLanguage(language);
        page("Session");
        type("host", "db.example");
        type("port", "2200");
        type("sessionName", L("Default Settings"));
        click("Save");
        const Connection defaults = app_->store().defaults();
        EXPECT_EQ(defaults.host, "") << language;
        EXPECT_EQ(defaults.name, "") << language;
        EXPECT_EQ(defaults.port, "2200") << language;
        EXPECT_TRUE(stored().empty());
        EXPECT_EQ(window_->savedName(), "Default Settings");
        EXPECT_EQ(text("sessionName"), L("Default Settings"));
        EXPECT_TRUE(prompts_->errors.empty());
        Preferences::shared().remove("defaultConnection");
    }
}

TEST_F(ConfigurationWindow, TheNameAndTheSelectedRowDecideWhatSaveDoes) {
    saveSession("alpha", "alpha.example");
    ASSERT_EQ(stored().size(), 1u);
    struct Case {
        int row;
        const char* name;
        const char* error;       // nullptr: no error
        const char* savedAs;     // the profile added, or nullptr
        bool defaults;
    };
    for (const Case& c : {Case{1, "", "Session name is required.", nullptr, false},
                          Case{1, " \t ", "Session name is required.", nullptr, false},
                          Case{0, "", nullptr, nullptr, true},
                          Case{0, "  beta ", nullptr, "beta", false}}) {
        prompts_->errors.clear();
        Preferences::shared().remove("defaultConnection");
        const std::size_t before = stored().size();
        type("host", "gamma.example");
        selectSession(c.row);
        type("sessionName", c.name);
        click("Save");
        if (c.error != nullptr) {
            ASSERT_EQ(prompts_->errors.size(), 1u) << c.name;
            EXPECT_EQ(prompts_->errors[0], c.error);
        } else {
            EXPECT_TRUE(prompts_->errors.empty()) << c.name;
        }
        EXPECT_EQ(stored().size(), before + (c.savedAs != nullptr ? 1 : 0)) << "row " << c.row << " '" << c.name << "'";
        if (c.savedAs != nullptr) {
            EXPECT_EQ(stored().back().name, c.savedAs);
        }
        EXPECT_EQ(Preferences::shared().contains("defaultConnection"), c.defaults) << c.name;
    }
}

TEST_F(ConfigurationWindow, AnInvalidProfileIsNotSavedAndShowsWhy) {
    saveSession("alpha", "alpha.example");
    const std::vector<Connection> before = stored();
    struct Case {
        const char* page;
        const char* id;
        const char* value;
        const char* message;
    };
    for (const Case& c :
         {Case{"Session", "host", "has space", "Enter a host name, SSH alias or IP address without spaces or user@."},
          Case{"Session", "port", "65536", "Port must be a number from 1 to 65535."},
          Case{"Data", "username", "-oProxy", "Invalid username: spaces and control characters are not allowed."},
          Case{"Terminal", "terminal", "xterm.new", "Invalid terminal type."}}) {
        prompts_->errors.clear();
        page("Session");
        selectSession(1);
        click("Load");
        page(c.page);
        type(c.id, c.value);
        page("Session");
        click("Save");
        ASSERT_EQ(prompts_->errors.size(), 1u) << c.id;
        EXPECT_EQ(prompts_->errors[0], c.message);
        EXPECT_EQ(stored(), before) << c.id;
        EXPECT_EQ(window_->savedName(), "alpha");
    }
}

TEST_F(ConfigurationWindow, SavingUnderANewNameNeverSharesAnIdentifier) {
    saveSession("alpha", "alpha.example");
    saveSession("beta", "beta.example");
    ASSERT_EQ(stored().size(), 2u);
    EXPECT_NE(stored()[0].id, stored()[1].id);
    // Saving again under the same name replaces it in place.
    type("port", "2022");
    click("Save");
    ASSERT_EQ(stored().size(), 2u);
    EXPECT_EQ(stored()[1].port, "2022");
    EXPECT_EQ(stored()[1].host, "beta.example");
}

TEST_F(ConfigurationWindow, LoadDeleteAndDoubleClickWorkOnTheSelectedRow) {
    click("protocolRaw"); // opened below: refused at once on 127.0.0.1:23
    saveSession("alpha", "127.0.0.1");
    type("host", "changed.example");
    selectSession(1);
    click("Load");
    EXPECT_EQ(text("host"), "127.0.0.1");
    EXPECT_EQ(text("sessionName"), "alpha");

    selectSession(0);
    click("Delete");
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_TRUE(prompts_->errors.empty());

    auto* list = find<QListWidget>("savedSessions");
    ASSERT_EQ(list->count(), 2);
    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    ASSERT_EQ(app_->terminals().size(), 1u);
    EXPECT_EQ(app_->terminals().back()->connection()->host, "127.0.0.1");
    EXPECT_EQ(app_->terminals().back()->connection()->name, "alpha");

    selectSession(1);
    click("Delete");
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(text("sessionName"), "");
    EXPECT_EQ(window_->savedName(), "");
    EXPECT_EQ(find<QListWidget>("savedSessions")->count(), 1);
}

TEST_F(ConfigurationWindow, TunnelsAreCheckedAgainstTheDraftWithAHostFilledIn) {
    page("Tunnels");
    struct Case {
        int kind;
        const char* text;
        const char* error; // nullptr: added
    };
    for (const Case& c :
         {Case{0, "8080:localhost:80", nullptr}, Case{2, "127.0.0.1:1080", nullptr},
          Case{0, "8080:localhost", "Tunnel format: [bind_address:]port:host:hostport; SOCKS: [bind_address:]port."},
          Case{1, "80 80:h:1", "Enter a tunnel address without spaces."},
          Case{2, "a:b:1080", "Tunnel format: [bind_address:]port:host:hostport; SOCKS: [bind_address:]port."}}) {
        prompts_->errors.clear();
        const std::size_t before = window_->draft().forwards.size();
        find<QComboBox>("forwardType")->setCurrentIndex(c.kind);
        type("tunnel", c.text);
        click("Add");
        if (c.error == nullptr) {
            EXPECT_TRUE(prompts_->errors.empty()) << c.text;
            EXPECT_EQ(window_->draft().forwards.size(), before + 1);
            EXPECT_EQ(text("tunnel"), "");
        } else {
            ASSERT_EQ(prompts_->errors.size(), 1u) << c.text;
            EXPECT_EQ(prompts_->errors[0], c.error);
            EXPECT_EQ(window_->draft().forwards.size(), before);
        }
    }
    EXPECT_EQ(window_->draft().host, "");
    auto* list = find<QListWidget>("tunnels");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "-L 8080:localhost:80");
    EXPECT_EQ(list->item(1)->text(), "-D 127.0.0.1:1080");
    list->setCurrentRow(0);
    click("Remove");
    ASSERT_EQ(window_->draft().forwards.size(), 1u);
    EXPECT_EQ(window_->draft().forwards[0].kind, ForwardKind::SOCKS);
}

TEST_F(ConfigurationWindow, OpenOnTheSerialPageOpensTheSerialLine) {
    // A pseudo-terminal stands in for the serial device.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString line = QString::fromLocal8Bit(::ptsname(master));

    type("host", "web.example");
    page("Serial");
    type("serialLine", line);
    click("Open");
    ASSERT_EQ(app_->terminals().size(), 1u) << (prompts_->errors.empty() ? "" : prompts_->errors[0].toStdString());
    const Connection& opened = *app_->terminals().back()->connection();
    EXPECT_EQ(opened.protocolKind, ConnectionProtocol::serial);
    EXPECT_EQ(opened.host, line.toStdString());
    // The host typed for SSH is still there when the user switches back.
    page("Session");
    click("protocolSSH");
    EXPECT_EQ(text("host"), "web.example");
    app_.reset();
    ::close(master);
}

TEST_F(ConfigurationWindow, OnlyFontSizesFromNineToThirtyTwoAreStored) {
    struct Case {
        const char* typed;
        QVariant stored;
    };
    for (const Case& c : {Case{"40", {}}, Case{"8", {}}, Case{"12pt", {}}, Case{"12", 12.0}, Case{"32", 32.0},
                          Case{"9.5", 9.5}}) {
        Preferences::shared().remove("fontSize");
        page("Appearance");
        EXPECT_EQ(text("fontSize"), "14");
        type("fontSize", c.typed);
        page("Session");
        EXPECT_EQ(Preferences::shared().value("fontSize"), c.stored) << c.typed;
    }
    // Leaving the page untouched does not round a stored size.
    Preferences::shared().setValue("fontSize", 12.5);
    page("Appearance");
    EXPECT_EQ(text("fontSize"), "12");
    page("Session");
    EXPECT_EQ(Preferences::shared().value("fontSize").toDouble(), 12.5);
}

TEST_F(ConfigurationWindow, WhatIsTypedSurvivesAPageSwitch) {
    struct Case {
        const char* page;
        const char* id;
        std::string Connection::*target;
    };
    for (const Case& c : {Case{"Session", "host", &Connection::host}, Case{"Session", "port", &Connection::port},
                          Case{"Logging", "log", &Connection::logFile},
                          Case{"Terminal", "terminal", &Connection::terminalType},
                          Case{"Data", "username", &Connection::username},
                          Case{"Authentication", "key", &Connection::identityFile},
                          Case{"Serial", "baud", &Connection::serialBaud}}) {
        page(c.page);
        type(c.id, "typed-1");
        page("Tunnels");
        EXPECT_EQ(window_->draft().*c.target, "typed-1") << c.id;
        page(c.page);
        EXPECT_EQ(text(c.id), "typed-1") << c.id;
    }
    page("SSH");
    find<QCheckBox>("compression")->click();
    find<QCheckBox>("keepalive")->click();
    page("Tunnels");
    EXPECT_TRUE(window_->draft().compression);
    EXPECT_FALSE(window_->draft().keepAlive);
    page("Session");
    type("sessionName", "unsaved");
    page("Logging");
    EXPECT_EQ(window_->savedName(), "unsaved");
}

TEST_F(ConfigurationWindow, ImportingTheSSHConfigTwiceAddsNothingTheSecondTime) {
    std::filesystem::create_directories(home_.path().toStdString() + "/.ssh");
    std::ofstream(home_.path().toStdString() + "/.ssh/config") << "Host web db\n  HostName 10.0.0.1\nHost *\n";
    saveSession("mine", "db");
    app_->importSSH();
    app_->importSSH();
    EXPECT_TRUE(prompts_->errors.empty());
    ASSERT_EQ(stored().size(), 2u);
    EXPECT_EQ(stored()[1].host, "web");
    EXPECT_EQ(stored()[1].group, "SSH config");
    EXPECT_EQ(find<QListWidget>("savedSessions")->count(), 3);
}

TEST_F(ConfigurationWindow, ImportingAMissingSSHConfigShowsTheErrorAndAddsNothing) {
    app_->importSSH();
    ASSERT_EQ(prompts_->errors.size(), 1u);
    EXPECT_TRUE(prompts_->errors[0].contains("/.ssh/config")) << prompts_->errors[0].toStdString();
    EXPECT_TRUE(stored().empty());
}

TEST_F(ConfigurationWindow, ABrokenProfileFileIsNeverReplacedByAnImport) {
    app_.reset();
    settle();
    std::filesystem::create_directories(ProfileStore::defaultLocation().parent_path());
    std::ofstream(ProfileStore::defaultLocation()) << "[{\"name\": \"no host\"}]";
    std::filesystem::create_directories(home_.path().toStdString() + "/.ssh");
    std::ofstream(home_.path().toStdString() + "/.ssh/config") << "Host web\n";
    start();
    ASSERT_EQ(prompts_->errors.size(), 1u); // shown once at launch
    app_->importSSH();
    saveSession("alpha", "alpha.example");
    ASSERT_EQ(prompts_->errors.size(), 3u);
    EXPECT_EQ(prompts_->errors[1], prompts_->errors[0]);
    EXPECT_EQ(prompts_->errors[2], prompts_->errors[0]);
    std::ifstream file(ProfileStore::defaultLocation());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "[{\"name\": \"no host\"}]");
}

TEST_F(ConfigurationWindow, ALanguageChangeRetitlesEverything) {
    app_->open(std::nullopt, {"/bin/sh", "-c", "sleep 30"});
    ASSERT_EQ(app_->terminals().size(), 1u);
    SessionWindowController* session = app_->terminals().back();
    selectSession(0);
    click("Load");
    type("host", "kept.example");

    auto* language = find<QComboBox>("language");
    ASSERT_NE(language, nullptr);
    const int german = UISettings::languageIndex("de");
    language->setCurrentIndex(german);
    emit language->activated(german);
    settle();

    ASSERT_EQ(UISettings().language(), "de");
    ASSERT_NE(L("Configuration"), "Configuration");
    EXPECT_EQ(window_->windowTitle(), "Tarvik " + L("Configuration"));
    EXPECT_EQ(text("host"), "kept.example");
    EXPECT_EQ(text("sessionName"), L("Default Settings"));
    EXPECT_EQ(window_->savedName(), "Default Settings");
    for (QMenuBar* bar : {window_->menuBar(), app_->frameOf(session)->menuBar()}) {
        QStringList titles;
        for (QAction* menu : bar->actions())
            titles << menu->text();
        EXPECT_TRUE(titles.contains(L("File"))) << titles.join(',').toStdString();
    }
    QStringList buttons;
    for (QPushButton* button : session->findChildren<QPushButton*>())
        buttons << button->text();
    EXPECT_TRUE(buttons.contains(L("Reconnect")));
    EXPECT_TRUE(buttons.contains(L("Disconnect")));
    EXPECT_TRUE(session->statusText().startsWith(L("Running"))) << session->statusText().toStdString();
}

TEST_F(ConfigurationWindow, CancelAndCloseOnlyHideTheWindow) {
    app_->open(std::nullopt, {"/bin/sh", "-c", "sleep 30"}); // the program keeps running
    type("host", "kept.example");
    for (const auto& hide : std::vector<std::function<void()>>{
             [&] { click("Cancel"); }, [&] { window_->close(); },
             [&] { QTest::keyClick(field("host"), Qt::Key_Escape); }}) {
        app_->showConfiguration();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
        ASSERT_TRUE(window_->isVisible());
        hide();
        EXPECT_FALSE(window_->isVisible());
        EXPECT_EQ(app_->configuration(), window_);
    }
    app_->showConfiguration();
    EXPECT_EQ(text("host"), "kept.example");
}

TEST_F(ConfigurationWindow, ReturnOpensWithWhatWasJustTyped) {
    click("protocolRaw"); // refused at once on 127.0.0.1:23
    type("host", "127.0.0.1");
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    QTest::keyClick(field("host"), Qt::Key_Return);
    ASSERT_EQ(app_->terminals().size(), 1u);
    EXPECT_EQ(app_->terminals().back()->connection()->host, "127.0.0.1");
    EXPECT_EQ(app_->terminals().back()->connection()->protocolKind, ConnectionProtocol::raw);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(ConfigurationWindow, OnlyFontsThatExistCanBeChosen) {
    struct Case {
        const char* identifier;
        bool enabled;
        const char* stored; // the "terminalFont" afterwards
    };
    for (const Case& c : {Case{"DejaVuSansMono", true, "DejaVuSansMono"}, Case{"Menlo-Regular", false, "DejaVuSansMono"},
                          Case{"system", true, "system"}}) {
        if (!c.enabled && TerminalFonts::resolve(c.identifier, 14))
            continue; // installed here after all
        page("Appearance");
        auto* fonts = find<QComboBox>("font");
        const int index = fonts->findData(c.identifier);
        ASSERT_GE(index, 0) << c.identifier;
        const auto* model = qobject_cast<const QStandardItemModel*>(fonts->model());
        EXPECT_EQ(model->item(index)->isEnabled(), c.enabled) << c.identifier;
        emit fonts->activated(index);
        EXPECT_EQ(UISettings().terminalFont(), c.stored) << c.identifier;
    }
    page("Appearance");
    EXPECT_EQ(find<QLabel>("preview")->font().family(), TerminalFonts::current().family());
}

TEST(SerialLinesPresent, OffersSerialDevicesOnlyInNaturalOrderWithStableNamesLast) {
    QTemporaryDir devices;
    const QDir root(devices.path());
    root.mkpath("serial/by-id");
    for (const char* name : {"ttyUSB1", "ttyUSB0", "ttyS10", "ttyS2", "ttyACM0", "tty0", "console", "sda",
                             "serial/by-id/usb-FTDI_FT232R-if00-port0"})
        std::ofstream(root.filePath(name).toStdString());
    QStringList expected;
    for (const char* name :
         {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS2", "ttyS10", "serial/by-id/usb-FTDI_FT232R-if00-port0"})
        expected << root.filePath(name);
    EXPECT_EQ(SerialLines::present(devices.path()).join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_TRUE(SerialLines::present(root.filePath("missing")).isEmpty());
}

} // namespace
} // namespace tarvik
