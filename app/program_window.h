#pragma once

class QWidget;
class SetupController;

// The setup window as the program shows it: with its menu bar, centred on the screen, in front.
void presentSetupWindow(SetupController& controller);

// Brings the window to the front with the keyboard's focus, be it minimized or behind other windows.
void bringToFront(QWidget* window);
