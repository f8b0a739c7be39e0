// Takes a picture of the setup window as a user sees it, for the README and
// for looking at the layout in a light and a dark palette.
//
//   halden-screenshot --bundle BUNDLE --output FILE.png [--dark] [--points N]
//                     [--set-up FOLDER | --uninstall-alert | --final-alert]

#include "app/globals.h"
#include "app/main_menu.h"
#include "platform/bundle_location.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "uninstall/uninstall_dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>

namespace {

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
    palette.setColor(QPalette::WindowText, QColor(0xEC, 0xEC, 0xEC));
    palette.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    palette.setColor(QPalette::AlternateBase, QColor(0x2C, 0x2C, 0x2E));
    palette.setColor(QPalette::Text, QColor(0xEC, 0xEC, 0xEC));
    palette.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    palette.setColor(QPalette::ButtonText, QColor(0xEC, 0xEC, 0xEC));
    palette.setColor(QPalette::PlaceholderText, QColor(0xA1, 0xA1, 0xA6));
    palette.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x4D, 0xA3, 0xFF));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x78, 0x78, 0x7C));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x78, 0x78, 0x7C));
    return palette;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    app = &application;
    QCommandLineParser parser;
    parser.addOptions(
        { { "bundle", "The staged application bundle.", "path" }, { "output", "Where to write the PNG.", "file" },
            { "dark", "Use a dark palette." }, { "points", "The desktop font size in points.", "size" },
            { "set-up", "Choose this project folder and set up the agent first.", "folder" },
            { "uninstall-alert", "Take the uninstall confirmation instead of the window." },
            { "final-alert", "Take the notice after a successful uninstall instead of the window." } });
    parser.process(application);
    if (!parser.isSet("output")) {
        std::fputs("halden-screenshot: --output is required\n", stderr);
        return 2;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (parser.isSet("dark"))
        QApplication::setPalette(darkPalette());
    if (parser.isSet("points")) {
        QFont font = QApplication::font();
        font.setPointSize(parser.value("points").toInt());
        QApplication::setFont(font);
    }
    if (parser.isSet("bundle"))
        platform::setBundlePathForTesting(parser.value("bundle"));

    controller = new SetupController;
    controller->window->setMenuBar(makeSetupMenu());
    controller->window->centerOnScreen();
    controller->window->show();

    const QString output = parser.value("output");
    auto capture = [output] {
        const bool saved = controller->window->grab().save(output);
        std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(output));
        QCoreApplication::exit(saved ? 0 : 1);
    };
    if (parser.isSet("uninstall-alert") || parser.isSet("final-alert")) {
        QTimer::singleShot(300, [output] {
            QWidget* alert = QApplication::activeModalWidget();
            const bool saved = alert && alert->grab().save(output);
            std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(output));
            if (alert)
                QMetaObject::invokeMethod(alert, "reject");
            QCoreApplication::exit(saved ? 0 : 1);
        });
        if (parser.isSet("final-alert"))
            QTimer::singleShot(100, [] { showUninstallFinished(controller->window); });
        else
            QTimer::singleShot(100, controller, &SetupController::uninstall);
    } else if (parser.isSet("set-up")) {
        QTimer::singleShot(200, [&] {
            // Choose the folder in the real panel, as a user does.
            QTimer::singleShot(300, [&] {
                if (auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    panel->setDirectory(parser.value("set-up"));
                    QMetaObject::invokeMethod(panel, "accept");
                }
            });
            controller->chooseFolder();
            controller->setUpAgent();
            // Wait for the run to end, then let the window settle.
            auto* poll = new QTimer(&application);
            QObject::connect(poll, &QTimer::timeout, [poll, capture] {
                if (controller->child)
                    return;
                poll->stop();
                QTimer::singleShot(200, capture);
            });
            poll->start(50);
        });
    } else {
        QTimer::singleShot(300, capture);
    }
    return application.exec();
}
