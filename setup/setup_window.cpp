#include "setup/setup_window.h"

#include "app/globals.h"

#include <QGuiApplication>
#include <QCloseEvent>
#include <QScreen>

SetupWindow::SetupWindow()
{
    setFixedSize(620, 580);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
}

void SetupWindow::centerOnScreen()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void SetupWindow::closeEvent(QCloseEvent* event)
{
    if (!closeEnabled) {
        event->ignore();
        return;
    }
    event->accept();
    // The window is the program: closing it ends the process at once, without
    // waiting for anything.
    endProgram();
}
