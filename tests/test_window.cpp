#include "app/globals.h"
#include "app/main_menu.h"
#include "install/installation_discovery.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"
#include "setup/window_texts.h"
#include "support/controller_probe.h"
#include "support/modal_driver.h"
#include "support/test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

QAction* menuItem(QMenuBar* bar, const QString& title)
{
    for (QAction* menu : bar->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->text() == title)
                return item;
    return nullptr;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowShape();
    void componentsMissing();
    void componentsMissingWhenFolderMisnamed();
    void noExistingInstallation();
    void existingInstallationQueuesOneRepair();
    void busyStateRules();
    void pendingRemovalKeepsSetupOff();
    void logAppendsAndScrolls();
    void statusColours();
    void closeIsRefusedWhileBusy();
    void closingWhenIdleEndsTheProgram();
    void quitWorksWhileAnAgentRuns();
    void returnPressesSetupOnlyWhenEnabled();
    void editMenuActsOnTheLog();
    void folderPanelIsConfiguredAndTakesTheChoice();
    void cancellingThePanelChangesNothing();
    void readinessIsLeftAloneWhileBusyOrRemovalPending();
    void headerImageOnlyWhenBundled();
};

void WindowTest::windowShape()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    QCOMPARE(c.window->size(), QSize(620, 580));
    QCOMPARE(c.window->minimumSize(), c.window->maximumSize());
    QCOMPARE(c.window->windowTitle(), QStringLiteral("Tervan Halden for VS Code — Beta"));
    QCOMPARE(c.folderLabel->text(), QStringLiteral("No project folder chosen"));
    QCOMPARE(c.chooseButton->text(), QStringLiteral("Choose Project Folder…"));
    QCOMPARE(c.uninstallButton->text(), QStringLiteral("Uninstall…"));
    QCOMPARE(c.repairButton->text(), QStringLiteral("Repair Agent"));
    QCOMPARE(c.openProjectButton->text(), QStringLiteral("Open Project in VS Code"));
    QCOMPARE(c.helpLinkButton->text(), helpURL.toString());
    QCOMPARE(c.supportLinkButton->text(), supportAddress);
    QVERIFY(c.log->isReadOnly());
    QCOMPARE(c.log->size(), QSize(520, 200));
    QCOMPARE(c.log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(c.log->font().pointSize(), 11);
    const QFontMetricsF metrics(c.log->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));

    // The rows stand in order, top to bottom, and fit the window.
    c.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(c.window));
    const auto top = [&](QWidget* w) { return w->mapTo(c.window, QPoint()).y(); };
    QVERIFY(top(c.helpLinkButton) < top(c.chooseButton));
    QVERIFY(top(c.chooseButton) < top(c.setupButton));
    QVERIFY(top(c.setupButton) < top(c.statusLabel));
    QVERIFY(top(c.statusLabel) < top(c.log));
    QVERIFY(top(c.log) + c.log->height() <= c.window->height());
    const auto left = [&](QWidget* w) { return w->mapTo(c.window, QPoint()).x(); };
    QVERIFY(left(c.setupButton) < left(c.repairButton));
    QVERIFY(left(c.repairButton) < left(c.uninstallButton));
    QVERIFY(left(c.uninstallButton) < left(c.openProjectButton));
    QCOMPARE(left(c.chooseButton), left(c.log));
}

void WindowTest::componentsMissing()
{
    StagedInstall install; // no agent in dist/
    TemporaryHome home;
    SetupController c;
    QCOMPARE(c.statusLabel->text(), QStringLiteral("Program components not found. Reinstall Tervan Halden Beta, then reopen Setup."));
    QVERIFY(statusIsError(c));
    QCOMPARE(buttonStates(c), QStringLiteral("--E--"));

    // Choosing a folder later cannot enable set-up while the agent is missing.
    c.folder = home.path();
    c.updateSetupReadiness();
    QCOMPARE(buttonStates(c), QStringLiteral("--E--"));
    QCOMPARE(c.statusLabel->text(), QStringLiteral("Program components not found. Reinstall Tervan Halden Beta, then reopen Setup."));
    QVERIFY(statusIsError(c));
}

void WindowTest::componentsMissingWhenFolderMisnamed()
{
    StagedInstall install(QStringLiteral("Tervan Halden Beta copy"));
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    QCOMPARE(c.statusLabel->text(), WindowTexts::componentsMissing);
    QCOMPARE(buttonStates(c), QStringLiteral("--E--"));
}

void WindowTest::noExistingInstallation()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    QCOMPARE(c.statusLabel->text(), WindowTexts::chooseFolderToStart);
    QVERIFY(statusIsSecondary(c));
    QCOMPARE(buttonStates(c), QStringLiteral("--E-E"));
    QVERIFY(!c.folder && !c.repairAvailable);
    QTest::qWait(20);
    QVERIFY(!c.child); // nothing queued
}

void WindowTest::existingInstallationQueuesOneRepair()
{
    StagedInstall install;
    TemporaryHome home;
    const QString record = home.filePath("runs");
    install.writeAgentScript("printf '%s\\n' \"$1\" >> '" + record + "'\n"
                             "echo '{\"step\":\"done\",\"status\":\"ok\"}'");
    const QString project = home.filePath("project");
    QDir().mkpath(project);
    writeRegistration(home.path(), {"/agent", "--allow-root", project}, PlistFormat::xml);

    SetupController c;
    // Nothing ran inside the constructor: the repair waits for the event loop.
    QVERIFY(!c.child);
    QVERIFY(!QFileInfo::exists(record));
    QCOMPARE(c.folder, std::optional<QString>(project));
    QCOMPARE(c.folderLabel->text(), project);
    QVERIFY(c.repairAvailable);
    QCOMPARE(c.statusLabel->text(), QStringLiteral("Existing Halden installation found. Repairing the local agent…"));
    QVERIFY(statusIsSecondary(c));
    QCOMPARE(buttonStates(c), QStringLiteral("-EE-E"));

    QTRY_VERIFY(QFileInfo::exists(record));
    QVERIFY(waitForRunEnd(c));
    QCOMPARE(recordedLines(record), QStringList{"--repair"}); // exactly one run
    // Afterwards both set-up and repair are offered: a folder is set and repair is available.
    QVERIFY(c.setupButton->isEnabled() && c.repairButton->isEnabled());
}

void WindowTest::busyStateRules()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    c.setBusy(true);
    QCOMPARE(buttonStates(c), QStringLiteral("-----"));
    QVERIFY(!c.window->isCloseEnabled());

    c.setBusy(false); // no folder
    QCOMPARE(buttonStates(c), QStringLiteral("--E-E"));
    QVERIFY(c.window->isCloseEnabled());

    c.folder = home.path();
    c.setBusy(true);
    c.setBusy(false); // folder, repair not available, open-project untouched
    QCOMPARE(buttonStates(c), QStringLiteral("E-E-E"));

    c.repairAvailable = true;
    c.openProjectButton->setEnabled(true);
    c.setBusy(false);
    QCOMPARE(buttonStates(c), QStringLiteral("EEEEE"));
    c.setBusy(true);
    QCOMPARE(buttonStates(c), QStringLiteral("-----"));
    c.setBusy(false);
    QCOMPARE(buttonStates(c), QStringLiteral("EEE-E")); // open-project stays as busy left it
}

void WindowTest::pendingRemovalKeepsSetupOff()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    c.folder = home.path();
    c.repairAvailable = true;
    c.pendingProgramRemoval = ProgramRemoval::shared();
    c.setBusy(false);
    QCOMPARE(buttonStates(c), QStringLiteral("----E"));
    QVERIFY(c.window->isCloseEnabled());
}

void WindowTest::logAppendsAndScrolls()
{
    StagedInstall install;
    TemporaryHome home;
    SetupController c;
    c.append("x");
    QCOMPARE(c.log->toPlainText(), QStringLiteral("x\n"));
    c.log->clear();
    c.append("a");
    c.append("b");
    QCOMPARE(c.log->toPlainText(), QStringLiteral("a\nb\n"));
    c.append("two\nlines");
    QCOMPARE(c.log->toPlainText(), QStringLiteral("a\nb\ntwo\nlines\n"));

    c.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(c.window));
    for (int i = 0; i < 200; ++i)
        c.append(QStringLiteral("line %1").arg(i));
    QScrollBar* bar = c.log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

void WindowTest::statusColours()
{
    StagedInstall install;
    TemporaryHome home;
    SetupController c;
    c.setStatus("broken", true);
    QCOMPARE(c.statusLabel->text(), QStringLiteral("broken"));
    QVERIFY(statusIsError(c));
    c.setStatus("fine", false);
    QCOMPARE(c.statusLabel->text(), QStringLiteral("fine"));
    QVERIFY(statusIsSecondary(c));
    QVERIFY(statusColor(true, c.window->palette()) != statusColor(false, c.window->palette()));
    QVERIFY(c.log->toPlainText().isEmpty()); // the status line never writes the log

    // The red keeps its contrast on a dark window.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QVERIFY(statusColor(true, dark).lightness() > statusColor(true, QPalette(Qt::white)).lightness());
}

void WindowTest::closeIsRefusedWhileBusy()
{
    StagedInstall install;
    TemporaryHome home;
    SetupController c;
    c.window->show();
    c.setBusy(true);
    QVERIFY(!c.window->close());
    QVERIFY(c.window->isVisible());
}

void WindowTest::closingWhenIdleEndsTheProgram()
{
    StagedInstall install;
    TemporaryHome home;
    SetupController c;
    c.window->show();
    bool closed = false;
    QTimer::singleShot(0, [&] { closed = c.window->close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(closed);
}

void WindowTest::quitWorksWhileAnAgentRuns()
{
    StagedInstall install;
    install.writeAgentScript("sleep 30");
    TemporaryHome home;
    SetupController c;
    QMenuBar* menu = makeSetupMenu();
    c.window->setMenuBar(menu);
    c.window->show();
    QAction* quit = menuItem(menu, QStringLiteral("Quit Halden Setup"));
    QVERIFY(quit);
    QCOMPARE(quit->shortcut(), QKeySequence(QKeySequence::Quit));
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Halden Setup"));

    c.folder = home.path();
    c.setUpAgent();
    QVERIFY(c.child);
    QTimer::singleShot(50, quit, &QAction::trigger);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    c.child->kill();
    c.child->waitForFinished();
}

void WindowTest::returnPressesSetupOnlyWhenEnabled()
{
    StagedInstall install;
    install.writeAgentScript("echo '{\"step\":\"done\",\"status\":\"ok\"}'");
    TemporaryHome home;
    SetupController c;
    c.window->show();
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    QSignalSpy pressed(c.setupButton, &QPushButton::clicked);
    QTest::keyClick(c.window, Qt::Key_Return);
    QCOMPARE(pressed.count(), 0);

    c.folder = home.path();
    c.updateSetupReadiness();
    QVERIFY(c.setupButton->isEnabled());
    QTest::keyClick(c.window, Qt::Key_Return);
    QCOMPARE(pressed.count(), 1);
    QVERIFY(waitForRunEnd(c));
    QTest::keyClick(c.window, Qt::Key_Enter);
    QCOMPARE(pressed.count(), 2);
    QVERIFY(waitForRunEnd(c));
}

void WindowTest::editMenuActsOnTheLog()
{
    StagedInstall install;
    TemporaryHome home;
    SetupController c;
    QMenuBar* menu = makeSetupMenu();
    c.window->setMenuBar(menu);
    QStringList editTitles;
    for (QAction* item : menu->actions().at(1)->menu()->actions())
        editTitles << item->text();
    QCOMPARE(editTitles, (QStringList{"Undo", "Cut", "Copy", "Paste", "Select All"}));
    QCOMPARE(menuItem(menu, "Select All")->shortcut(), QKeySequence(QKeySequence::SelectAll));

    c.window->show();
    QVERIFY(QTest::qWaitForWindowActive(c.window));
    c.append("✓ register: done");
    c.append("second line");
    c.log->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), c.log);
    QApplication::clipboard()->clear();
    menuItem(menu, "Select All")->trigger();
    menuItem(menu, "Copy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("✓ register: done\nsecond line\n"));
    // The read-only log takes no paste.
    menuItem(menu, "Paste")->trigger();
    QCOMPARE(c.log->toPlainText(), QStringLiteral("✓ register: done\nsecond line\n"));
}

void WindowTest::folderPanelIsConfiguredAndTakesTheChoice()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    const QString project = home.filePath("my project ü");
    QDir().mkpath(project);
    SetupController c;
    c.window->show();

    bool configured = false;
    ModalDriver driver([&](QWidget* modal) {
        auto* panel = qobject_cast<QFileDialog*>(modal);
        QVERIFY(panel);
        configured = panel->fileMode() == QFileDialog::Directory && panel->testOption(QFileDialog::ShowDirsOnly)
            && panel->labelText(QFileDialog::Accept) == QStringLiteral("Authorize")
            && panel->windowTitle() == QStringLiteral("Choose the project folder Halden may scan (it never scans outside it).")
            && panel->isModal();
        panel->setDirectory(project);
        QMetaObject::invokeMethod(panel, "accept");
    });
    c.chooseFolder();
    QVERIFY(driver.wasCalled());
    QVERIFY(configured);
    QCOMPARE(c.folder, std::optional<QString>(project));
    QCOMPARE(c.folderLabel->text(), project);
    QCOMPARE(buttonStates(c), QStringLiteral("E-E-E"));
    QCOMPARE(c.statusLabel->text(), WindowTexts::readyToSetUp);
    QVERIFY(statusIsSecondary(c));
    QVERIFY(c.folderLabel->maximumWidth() <= 320);
}

void WindowTest::cancellingThePanelChangesNothing()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    c.folder = home.path();
    c.setStatus("before", true);
    const QString states = buttonStates(c);
    ModalDriver driver([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    c.chooseFolder();
    QVERIFY(driver.wasCalled());
    QCOMPARE(c.folder, std::optional<QString>(home.path()));
    QCOMPARE(c.statusLabel->text(), QStringLiteral("before"));
    QCOMPARE(buttonStates(c), states);
}

void WindowTest::readinessIsLeftAloneWhileBusyOrRemovalPending()
{
    StagedInstall install;
    install.writeAgentScript("exit 0");
    TemporaryHome home;
    SetupController c;
    c.folder = home.path();
    c.pendingProgramRemoval = ProgramRemoval::shared();
    c.setStatus("removal pending", true);
    c.updateSetupReadiness();
    QCOMPARE(c.statusLabel->text(), QStringLiteral("removal pending"));
    QVERIFY(!c.setupButton->isEnabled());

    c.pendingProgramRemoval.reset();
    c.updateSetupReadiness();
    QCOMPARE(c.statusLabel->text(), WindowTexts::readyToSetUp);
    c.folder.reset();
    c.updateSetupReadiness();
    QCOMPARE(c.statusLabel->text(), QStringLiteral("Project folder is required. Choose the folder Halden may scan."));
    QVERIFY(!c.setupButton->isEnabled());
}

void WindowTest::headerImageOnlyWhenBundled()
{
    TemporaryHome home;
    {
        StagedInstall install;
        SetupController c;
        QVERIFY(!c.headerImage);
    }
    StagedInstall install;
    for (const char* name : {"HaldenInstaller.png", "HaldenInstaller@2x.png"})
        QVERIFY(QFile::copy(QStringLiteral(HALDEN_RESOURCES_DIR "/") + name, install.bundle() + "/" + name));
    SetupController c;
    QVERIFY(c.headerImage);
    QCOMPARE(c.headerImage->size(), QSize(56, 56));
    QVERIFY(!c.headerImage->pixmap().isNull());
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"
