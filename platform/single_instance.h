#pragma once

#include <QObject>
#include <QString>

// One running program per user session, met on the session bus as desktops meet
// applications: the first start owns the name com.tervan.HaldenSetup and
// answers org.freedesktop.Application there; a later start hands it the
// activation the launcher gave it and ends without showing anything. The bus
// frees the name when its owner ends in any way, crashes included. Without a
// session bus the program is a lone instance. On macOS the system already does
// this for an application that is opened again, so there the program is always
// the one instance.
namespace platform {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // True when this process is the one instance from now on; false when
    // another instance runs and was asked to come to the front.
    bool claim();

signals:
    // Another start asked this instance to come to the front, with the
    // launcher's Wayland activation token or X11 startup id when it had one.
    void activationRequested(const QString& activationToken, const QString& startupId);
};

} // namespace platform
