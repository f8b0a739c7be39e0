#pragma once

class QMenuBar;

// The main menu: the application menu with its quit item, and the Edit menu
// whose items act on the focused text view.
QMenuBar* makeSetupMenu();
