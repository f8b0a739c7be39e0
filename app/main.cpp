#include "app/globals.h"
#include "app/program_window.h"
#include "platform/bundle_location.h"
#include "platform/single_instance.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/window_texts.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

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
    // How desktops know the program: its desktop entry (shipped beside it) and the product's icon, in both sizes.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tervan.HaldenSetup"));
    QIcon icon;
    for (const QString& name : { WindowTexts::headerImageName, WindowTexts::headerImageName2x }) {
        QImage image(platform::bundleResourcePath() + u'/' + name);
        image.setDevicePixelRatio(1); // each its own size, not one size at two densities
        icon.addPixmap(QPixmap::fromImage(image));
    }
    QApplication::setWindowIcon(icon);

    platform::SingleInstance instance;
    if (!instance.claim())
        return 0; // the running instance comes to the front instead

    controller = new SetupController; // lives until the process ends
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, controller->window,
        [](const QString& activationToken, const QString& startupId) {
            bringToFront(controller->window, activationToken, startupId);
        });
    presentSetupWindow(*controller);

    application.exec();
    return 0;
}
