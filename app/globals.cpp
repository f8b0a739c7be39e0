#include "app/globals.h"

#include <QCoreApplication>

// The product's own reserved example domain: nothing here may point at a real
// third party.
const QString productName = QStringLiteral("Tervan Halden for VS Code — Beta");
const QUrl helpURL = QUrl(QStringLiteral("https://halden.tervan.example/help/setup"));
const QString supportAddress = QStringLiteral("halden-support@tervan.example");

QApplication* app = nullptr;
SetupController* controller = nullptr;

void endProgram() { QCoreApplication::exit(0); }
