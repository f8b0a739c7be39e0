#include "app/program_window.h"

#include "app/main_menu.h"
#include "platform/launch_activation.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

void presentSetupWindow(SetupController& controller)
{
    controller.window->setMenuBar(makeSetupMenu());
    // Where the menu bar sits inside the window, the window has just grown by it.
    controller.window->centerOnScreen();
    bringToFront(controller.window);
}

void bringToFront(QWidget* window, const QString& activationToken, const QString& startupId)
{
    platform::prepareActivation(activationToken);
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    platform::finishActivation(window, startupId);
}
