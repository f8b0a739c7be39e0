#pragma once

#include <QString>
#include <QUrl>

class QApplication;
class SetupController;

// The product's name: the window title and the header text.
extern const QString productName;
// The product's help page.
extern const QUrl helpURL;
// Where users write for help.
extern const QString supportAddress;

// The application object and the one controller, set by the process entry.
extern QApplication* app;
extern SetupController* controller;

// Ends the program at once: the event loop returns without asking the window,
// which refuses to close while busy, for leave.
void endProgram();
