#pragma once

#include <QString>

class QWidget;
class SetupController;

// The setup window as the program shows it: with its menu bar, centred on the screen, in front.
void presentSetupWindow(SetupController& controller);

// Brings the window to the front with the keyboard's focus, be it minimized or behind other windows; with the
// activation token or startup id a launcher gave a later start, when there was one.
void bringToFront(QWidget* window, const QString& activationToken = {}, const QString& startupId = {});
