#include "support/modal_driver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

ModalDriver::ModalDriver(std::function<void(QWidget*)> action, int timeoutMs) : timer(new QTimer)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [this, action, clock, timeoutMs, called = called] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            *called = true;
            action(modal);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
        }
    });
    timer->start(10);
}

ModalDriver::~ModalDriver()
{
    delete timer;
}
