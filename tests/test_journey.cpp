// A user's whole road with the development agent, from a per-user install
// folder in a temporary home: first start, set-up, the next start's repair,
// and the uninstall that ends the program.
#include "agent/agent_contract.h"
#include "app/main_menu.h"
#include "install/installation_discovery.h"
#include "install/setup_texts.h"
#include "setup/setup_window.h"
#include "support/fixture.h"
#include "uninstall/uninstall_dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class JourneyTest : public FixtureTest {
    Q_OBJECT

private slots:
    void init();
    void setUpThenRepairAtTheNextStart();
    void uninstallRemovesEverythingItShouldAndNothingElse();

private:
    void setUp(const QString& project);
};

void JourneyTest::init()
{
    FixtureTest::init();
    QFile::remove(install->agentPath());
    QVERIFY(QFile::copy(HALDEN_STAGED_AGENT, install->agentPath()));
    QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
}

// Starts the program as a user does, chooses the folder in the real panel and sets up.
void JourneyTest::setUp(const QString& project)
{
    writeFile(project + "/src/main.ts", "export {}\n");
    start();
    c->window->setMenuBar(makeSetupMenu());
    c->window->show();
    ModalDriver panel([&](QWidget* modal) {
        qobject_cast<QFileDialog*>(modal)->setDirectory(project);
        QMetaObject::invokeMethod(modal, "accept");
    });
    c->chooseButton->click();
    c->setupButton->click();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), setupCompletionMessage(true));
    QVERIFY(c->log->toPlainText().contains("✓ register: ") && c->log->toPlainText().endsWith("✓ done: Set-up complete.\n"));
    QCOMPARE(buttonStates(*c), QStringLiteral("EEEEE"));
    QCOMPARE(existingAuthorizedFolder(), project);
}

void JourneyTest::setUpThenRepairAtTheNextStart()
{
    const QString project = home->filePath("Projects/shop app – ü");
    setUp(project);
    start(); // the next start finds the registration, shows the folder and repairs
    c->window->show();
    QCOMPARE(c->folderLabel->text(), project);
    QTRY_VERIFY(c->child);
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), setupCompletionMessage(true));
    QVERIFY(c->log->toPlainText().endsWith("✓ done: Repair complete.\n"));
}

void JourneyTest::uninstallRemovesEverythingItShouldAndNothingElse()
{
    // Names that a careless shell command or a link-following deletion would
    // turn against the user's own files.
    const QString project = home->filePath("-rf 'quoted' \"double\" .. $HOME");
    QVERIFY(QFile::link(home->path(), install->installDir() + "/dist/link to home"));
    setUp(project);
    writeFile(project + "/" + AgentContract::historyFolderName + "/history.json", "[]");
    QString finalMessage;
    std::unique_ptr<ModalDriver> notice;
    ModalDriver confirm([&](QWidget* modal) {
        auto* dialog = qobject_cast<UninstallConfirmation*>(modal);
        dialog->removeCredentials->click();
        dialog->removeHistory->click();
        dialog->accept();
        notice = std::make_unique<ModalDriver>([&](QWidget* alert) { // once the agent ran and the files are gone
            finalMessage = qobject_cast<QMessageBox*>(alert)->text();
            qobject_cast<QMessageBox*>(alert)->buttons().first()->click();
        });
    });
    QTimer::singleShot(0, c->uninstallButton, &QPushButton::click);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0); // the program ended
    QCOMPARE(finalMessage, QStringLiteral("Halden was uninstalled."));
    for (const QString& gone : {AgentContract::launchAgentPropertyListPath, install->installDir(), project + "/.halden"})
        QVERIFY2(!QFileInfo::exists(home->filePath(gone)), qPrintable(gone));
    for (const QString& kept : {project + "/src/main.ts", home->filePath(".vscode/extensions/tervan.halden-0.9.0"), home->filePath("Applications")})
        QVERIFY2(QFileInfo::exists(kept), qPrintable(kept));
}

QTEST_MAIN(JourneyTest)
#include "test_journey.moc"
