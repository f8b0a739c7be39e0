// The yardstick of the start-up benchmark: a bare Qt window of the setup window's size and title, and nothing else.
#include "app/globals.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(productName);
    window.setFixedSize(620, 604); // the page and the menu bar
    window.show();
    return application.exec();
}
