#include "setup/setup_window.h"

#include "app/globals.h"
#include "setup/unmaximized_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QScreen>
#include <QWindow>

namespace {

constexpr QSize pageSize(620, 580);

} // namespace

// Titled, closable and minimizable, never maximized: the window has a fixed
// size. (Qt 6.4's own title bar on Wayland draws a maximize button whatever
// the hints say.)
SetupWindow::SetupWindow()
{
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    keepFixedSizeWindowsUnmaximized();
}

void SetupWindow::setPage(QWidget* page)
{
    page->setMinimumSize(pageSize);
    setCentralWidget(page);
    // The window takes the size its page and menu bar ask for, and follows it
    // when a longer status line needs more room.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void SetupWindow::setCloseEnabled(bool enabled)
{
    closeEnabled = enabled;
#ifdef __APPLE__
    // The close button is switched off in place there; elsewhere changing the
    // hint re-creates the window or is ignored by the window manager, so the
    // close is refused with the alert sound instead (closeEvent).
    if (QWindow* handle = windowHandle())
        handle->setFlag(Qt::WindowCloseButtonHint, enabled);
#endif
}

void SetupWindow::centerOnScreen()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        layout()->invalidate(); // the menu bar may just have come in
        layout()->activate();
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void SetupWindow::closeEvent(QCloseEvent* event)
{
    if (!closeEnabled) {
        QApplication::beep();
        event->ignore();
        return;
    }
    event->accept();
    // The window is the program: closing it ends the process at once, without
    // waiting for anything.
    endProgram();
}
