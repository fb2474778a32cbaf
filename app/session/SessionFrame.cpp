#include "app/session/SessionFrame.h"

#include "app/session/ApplicationController.h"
#include "app/session/SessionWindowController.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

namespace tarvik {

SessionFrame::SessionFrame(ApplicationController& application)
    : application_(application), tabs_(new QTabWidget(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(600, 350);
    resize(980, 640);
    tabs_->setDocumentMode(true);
    tabs_->setMovable(true);
    tabs_->setTabsClosable(true);
    tabs_->setElideMode(Qt::ElideRight);
    tabs_->setFocusPolicy(Qt::NoFocus);
    tabs_->tabBar()->setFocusPolicy(Qt::NoFocus);
    tabs_->tabBar()->installEventFilter(this);
    setCentralWidget(tabs_);
    connect(tabs_, &QTabWidget::tabCloseRequested, this, [this](int index) {
        closeSession(static_cast<SessionWindowController*>(tabs_->widget(index)));
    });
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        updateTitle();
        if (SessionWindowController* session = currentSession())
            session->focusTerminal();
    });
    // Tab switching as every Linux terminal does it; these keys never reach the program.
    auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this);
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this);
    connect(previous, &QShortcut::activated, this, [this] { switchTab(-1); });
    connect(next, &QShortcut::activated, this, [this] { switchTab(1); });
    application_.installMenuBar(menuBar());
}

void SessionFrame::addSession(SessionWindowController* session) {
    const int index = tabs_->addTab(session, session->tabTitle());
    connect(session, &SessionWindowController::changed, this, [this, session] { refresh(session); });
    tabs_->setCurrentIndex(index);
    refresh(session);
}

SessionWindowController* SessionFrame::currentSession() const {
    return static_cast<SessionWindowController*>(tabs_->currentWidget());
}

int SessionFrame::sessionCount() const {
    return tabs_->count();
}

void SessionFrame::showSession(SessionWindowController* session) {
    tabs_->setCurrentWidget(session);
}

void SessionFrame::closeSession(SessionWindowController* session) {
    const int index = tabs_->indexOf(session);
    if (index < 0)
        return;
    tabs_->removeTab(index);
    session->windowWillClose();
    session->deleteLater();
    if (tabs_->count() == 0)
        close();
}

void SessionFrame::refresh(SessionWindowController* session) {
    const int index = tabs_->indexOf(session);
    if (index < 0)
        return;
    tabs_->setTabText(index, session->tabTitle());
    tabs_->setTabToolTip(index, session->subtitle());
    if (index == tabs_->currentIndex())
        updateTitle();
}

void SessionFrame::updateTitle() {
    SessionWindowController* session = currentSession();
    if (session == nullptr)
        return;
    const QString subtitle = session->subtitle();
    setWindowTitle(subtitle.isEmpty() ? session->windowTitle() : session->windowTitle() + " — " + subtitle);
}

void SessionFrame::switchTab(int step) {
    const int count = tabs_->count();
    if (count > 1)
        tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
}

void SessionFrame::closeEvent(QCloseEvent* event) {
    // The last visible window ends the program, through the quit confirmation.
    if (tabs_->count() > 0 && application_.isLastVisibleWindow(this) && !application_.confirmQuit()) {
        event->ignore();
        return;
    }
    while (tabs_->count() > 0) {
        auto* session = static_cast<SessionWindowController*>(tabs_->widget(0));
        tabs_->removeTab(0);
        session->windowWillClose();
        session->deleteLater();
    }
    event->accept();
    application_.windowClosed(this);
}

bool SessionFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabs_->tabBar() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton) {
            const int index = tabs_->tabBar()->tabAt(mouse->position().toPoint());
            if (index >= 0) {
                closeSession(static_cast<SessionWindowController*>(tabs_->widget(index)));
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tarvik
