// Behaviour that needs a real window system: the primary selection and focus. The
// offscreen platform has neither, so these skip there; ctest runs them again under Xvfb.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QTest>

#include "view/qt/SystemClipboard.h"
#include "WidgetHarness.h"

namespace tarvik::qttest {
namespace {

bool haveWindowSystem() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

#define NEED_X11()                                                                                                    \
    if (!haveWindowSystem()) GTEST_SKIP() << "needs an X server (run under xvfb-run with QT_QPA_PLATFORM=xcb)"

TEST(X11Selection, DragPutsTheSelectionOnThePrimarySelection) {
    NEED_X11();
    ASSERT_TRUE(SystemClipboard::hasPrimarySelection());
    Widget w;
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.view.get()));
    w->feed("select me please");
    QTest::mousePress(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(0, 0));
    QTest::mouseMove(w.view.get(), w.centre(4, 0));
    QMouseEvent move(QEvent::MouseMove, w.centre(9, 0), w->mapToGlobal(w.centre(9, 0)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.view.get(), &move);
    QTest::mouseRelease(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(9, 0));
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection).left(9), QStringLiteral("select me"));

    // A middle click pastes it; with a mouse mode on it is reported instead.
    QTest::mouseClick(w.view.get(), Qt::MiddleButton, Qt::NoModifier, w.centre(2, 2));
    EXPECT_EQ(w.host.take().substr(0, 9), "select me");
    w->feed("\x1b[?1000h");
    QTest::mouseClick(w.view.get(), Qt::MiddleButton, Qt::NoModifier, w.centre(2, 2));
    EXPECT_EQ(w.host.take().substr(0, 4), "\x1b[M!");
}

TEST(X11Focus, FocusInAndOutAreReported) {
    NEED_X11();
    Widget w;
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.view.get()));
    w->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(w->hasFocus());
    w->feed("\x1b[?1004h");
    w.host.take();
    w->clearFocus();
    QApplication::processEvents();
    EXPECT_EQ(w.host.take(), "\x1b[O"); // focus reports, mode 1004
    w->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(w.host.take(), "\x1b[I");
}

} // namespace
} // namespace tarvik::qttest
