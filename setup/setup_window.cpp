#include "setup/setup_window.h"

#include "app/globals.h"
#include "setup/page_fit.h"
#include "setup/unmaximized_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
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

SetupWindow::~SetupWindow() = default;

void SetupWindow::setPage(QWidget* page, QPlainTextEdit* log)
{
    page->setMinimumSize(pageSize);
    setCentralWidget(page);
    pageFit = std::make_unique<PageFit>(this, page, log);
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
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // Before the window manager has framed the window its frame is not known: it is fitted again once it is
    // (changeEvent).
    const QRect framed = frameGeometry(), inside = geometry();
    const QMargins frame(inside.left() - framed.left(), inside.top() - framed.top(), framed.right() - inside.right(),
        framed.bottom() - inside.bottom());
    layout()->invalidate(); // the menu bar may just have come in
    layout()->activate();
    const int menuHeight = menuBar() && menuBar()->isVisibleTo(this) ? menuBar()->height() : 0;
    if (pageFit)
        pageFit->fit(available.size().shrunkBy(frame) - QSize(0, menuHeight));
    layout()->activate();
    QRect placed = QRect(QPoint(), size()).marginsAdded(frame);
    placed.moveCenter(available.center());
    // A frame that cannot be wholly seen keeps its title bar on the screen.
    move(std::max(placed.left(), available.left()), std::max(placed.top(), available.top()));
}

// Once the window manager has framed the window, its frame is known: a frame that does not lie within the screen's
// free area is fitted again.
void SetupWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && screen()
        && !screen()->availableGeometry().contains(frameGeometry()))
        centerOnScreen();
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
