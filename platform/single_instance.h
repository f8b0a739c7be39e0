#pragma once

#include <QLocalServer>
#include <QObject>

// One running program per user session. A second start finds the running one,
// asks it to bring its window to the front and ends without showing anything.
// On macOS the system already does this for an application that is opened
// again, so there the program is always the one instance.
namespace platform {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    ~SingleInstance() override;

    // True when this process is the one instance from now on; false when
    // another instance runs and was asked to come to the front.
    bool claim();

signals:
    // Another start asked this instance to come to the front.
    void activationRequested();

private:
    int lock = -1;
    QLocalServer server;
};

} // namespace platform
