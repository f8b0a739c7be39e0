#pragma once

#include <QString>

class QWidget;

// A start that handed its activation to the running instance: its launcher's
// feedback (the busy cursor, the entry in the task bar) ends, and the window
// comes forward with the launch's right to take the focus. On Wayland that is
// the activation token, which Qt's xdg-activation support takes from the
// environment when the window asks to be activated; on X11 the startup id, by
// the startup-notification protocol and the time the id carries. Call it
// prepareActivation before bringing the window forward, finishActivation once
// it was asked to be.
namespace platform {

void prepareActivation(const QString& activationToken);
void finishActivation(QWidget* window, const QString& startupId);

} // namespace platform
