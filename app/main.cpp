#include "app/globals.h"
#include "app/program_window.h"
#include "platform/single_instance.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QApplication>

int main(int, char**)
{
    // The program takes no command-line arguments, and Qt reads its own
    // switches (a window title, a mirrored layout, …) from what it is given:
    // it gets the program's name alone. The display's environment belongs to
    // the desktop and still reaches Qt.
    char name[] = "halden-setup";
    char* arguments[] = { name, nullptr };
    int count = 1;
    QApplication application(count, arguments);
    app = &application;
    QApplication::setApplicationName(QStringLiteral("Halden Setup"));

    platform::SingleInstance instance;
    if (!instance.claim())
        return 0; // the running instance comes to the front instead

    controller = new SetupController; // lives until the process ends
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, controller->window,
        [] { bringToFront(controller->window); });
    presentSetupWindow(*controller);

    application.exec();
    return 0;
}
