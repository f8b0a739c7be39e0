#include "app/globals.h"
#include "app/main_menu.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // No command-line arguments of our own and no settings are read.
    QApplication application(argc, argv);
    app = &application;
    QApplication::setApplicationName(QStringLiteral("Halden Setup"));

    controller = new SetupController; // lives until the process ends
    controller->window->setMenuBar(makeSetupMenu());
    // Where the menu bar sits inside the window, the window has just grown by it.
    controller->window->centerOnScreen();
    controller->window->show();
    controller->window->raise();
    controller->window->activateWindow();

    application.exec();
    return 0;
}
