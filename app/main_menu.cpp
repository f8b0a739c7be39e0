#include "app/main_menu.h"

#include "app/globals.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace {

// A selectable label has no editing slots of its own: copy and select all
// act on its selection here.
void editLabel(QLabel* label, const QByteArray& command)
{
    if (!(label->textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)))
        return;
    if (command == "copy" && label->hasSelectedText())
        QApplication::clipboard()->setText(label->selectedText());
    else if (command == "selectAll")
        label->setSelection(0, int(label->text().size()));
}

// Sends an editing command to whatever has the focus, as the first responder
// receives it on macOS. A widget that cannot take it ignores it quietly.
void sendToFocusedWidget(const QByteArray& command)
{
    QWidget* focused = QApplication::focusWidget();
    if (!focused)
        return;
    if (auto* label = qobject_cast<QLabel*>(focused))
        editLabel(label, command);
    else if (focused->metaObject()->indexOfSlot(command + "()") >= 0)
        QMetaObject::invokeMethod(focused, command.constData());
}

void addEditItem(QMenu* menu, const QString& title, QKeySequence::StandardKey key, const char* slot)
{
    QAction* item = menu->addAction(title);
    item->setShortcut(key);
    QObject::connect(item, &QAction::triggered, [slot] { sendToFocusedWidget(QByteArray(slot)); });
}

} // namespace

QMenuBar* makeSetupMenu()
{
    auto* menuBar = new QMenuBar;

    // Where the platform shows the application menu's title, it reads the
    // application's name, as on macOS. The titles' mnemonics open the menus
    // with Alt on Linux; macOS shows none and Qt leaves them out there.
    QMenu* applicationMenu = menuBar->addMenu(QStringLiteral("&Halden Setup"));
    QAction* quit = applicationMenu->addAction(QStringLiteral("&Quit Halden Setup"));
    // Ctrl+Q (Command-Q on macOS), also where the platform's theme binds no key to quitting.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    quit->setShortcuts(quitKeys.isEmpty() ? QList { QKeySequence(Qt::CTRL | Qt::Key_Q) } : quitKeys);
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    // Quits also while an agent runs; the agent is not waited for.
    QObject::connect(quit, &QAction::triggered, [] { endProgram(); });

    QMenu* editMenu = menuBar->addMenu(QStringLiteral("&Edit"));
    addEditItem(editMenu, QStringLiteral("&Undo"), QKeySequence::Undo, "undo");
    addEditItem(editMenu, QStringLiteral("Cu&t"), QKeySequence::Cut, "cut");
    addEditItem(editMenu, QStringLiteral("&Copy"), QKeySequence::Copy, "copy");
    addEditItem(editMenu, QStringLiteral("&Paste"), QKeySequence::Paste, "paste");
    addEditItem(editMenu, QStringLiteral("Select &All"), QKeySequence::SelectAll, "selectAll");
    return menuBar;
}
