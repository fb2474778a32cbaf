#include "app/session/ConfigurationWindow.h"

#include "app/session/ApplicationController.h"
#include "app/settings/Localization.h"
#include "app/store/ProfileStore.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

ConfigurationWindow::ConfigurationWindow(ApplicationController& application) : application_(application) {
    resize(850, 690);
    setMinimumSize(790, 680);
    application_.installMenuBar(menuBar());
    rebuild();
}

void ConfigurationWindow::rebuild() {
    setWindowTitle(L("Configuration") + QStringLiteral(" — Tarvik"));
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(new QLabel(L("Saved Sessions")));
    sessions_ = new QListWidget;
    column->addWidget(sessions_, 1);
    auto* row = new QHBoxLayout;
    auto* local = new QPushButton(L("Local Terminal"));
    auto* open = new QPushButton(L("Open"));
    open->setDefault(true);
    row->addWidget(local);
    row->addStretch(1);
    row->addWidget(open);
    column->addLayout(row);
    setCentralWidget(content);
    connect(local, &QPushButton::clicked, &application_, &ApplicationController::localTerminal);
    connect(open, &QPushButton::clicked, this, &ConfigurationWindow::openSelected);
    connect(sessions_, &QListWidget::itemDoubleClicked, this, &ConfigurationWindow::openSelected);
    reloadSessions();
}

void ConfigurationWindow::reloadSessions() {
    sessions_->clear();
    sessions_->addItem(L("Default Settings"));
    for (const Connection& profile : application_.store().profiles())
        sessions_->addItem(QString::fromStdString(profile.title()));
    sessions_->setCurrentRow(0);
}

void ConfigurationWindow::openSelected() {
    const int row = sessions_->currentRow();
    const auto& profiles = application_.store().profiles();
    if (row <= 0 || row > static_cast<int>(profiles.size())) {
        application_.open(application_.store().defaults());
        return;
    }
    application_.open(profiles[static_cast<std::size_t>(row - 1)]);
}

void ConfigurationWindow::importSSH() {}

void ConfigurationWindow::chooseImport() {
    const QString path = QFileDialog::getOpenFileName(this, L("Import profiles…"), QString(), "JSON (*.json)");
    if (!path.isEmpty())
        application_.importProfiles(path);
}

void ConfigurationWindow::chooseExport() {
    const QString path = QFileDialog::getSaveFileName(this, L("Export profiles…"), "Tarvik-sessions.json",
                                                      "JSON (*.json)");
    if (!path.isEmpty())
        application_.exportProfiles(path);
}

void ConfigurationWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    application_.windowClosed(this);
}

} // namespace tarvik
