#include "app/main_menu.h"

#include "app/globals.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace {

// Sends an editing command to whatever text widget has the focus, as the
// first responder receives it on macOS. Widgets without the slot ignore it.
void sendToFocusedWidget(const char* slot)
{
    if (QWidget* focused = QApplication::focusWidget())
        QMetaObject::invokeMethod(focused, slot);
}

void addEditItem(QMenu* menu, const QString& title, QKeySequence::StandardKey key, const char* slot)
{
    QAction* item = menu->addAction(title);
    item->setShortcut(key);
    QObject::connect(item, &QAction::triggered, [slot] { sendToFocusedWidget(slot); });
}

} // namespace

QMenuBar* makeSetupMenu()
{
    auto* menuBar = new QMenuBar;

    // Where the platform shows the application menu's title, it reads the
    // application's name, as on macOS.
    QMenu* applicationMenu = menuBar->addMenu(QStringLiteral("Halden Setup"));
    QAction* quit = applicationMenu->addAction(QStringLiteral("Quit Halden Setup"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    // Quits also while an agent runs; the agent is not waited for.
    QObject::connect(quit, &QAction::triggered, [] { endProgram(); });

    QMenu* editMenu = menuBar->addMenu(QStringLiteral("Edit"));
    addEditItem(editMenu, QStringLiteral("Undo"), QKeySequence::Undo, "undo");
    addEditItem(editMenu, QStringLiteral("Cut"), QKeySequence::Cut, "cut");
    addEditItem(editMenu, QStringLiteral("Copy"), QKeySequence::Copy, "copy");
    addEditItem(editMenu, QStringLiteral("Paste"), QKeySequence::Paste, "paste");
    addEditItem(editMenu, QStringLiteral("Select All"), QKeySequence::SelectAll, "selectAll");
    return menuBar;
}
