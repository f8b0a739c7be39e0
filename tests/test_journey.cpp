// A user's whole road with the development agent, from a per-user install
// folder in a temporary home: first start, set-up, the next start's repair,
// and the uninstall that ends the program.
#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "install/setup_texts.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/window_texts.h"
#include "support/modal_driver.h"
#include "support/installation_fixture.h"
#include "uninstall/uninstall_dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class JourneyTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void setUpThenRepairAtTheNextStart();
    void uninstallRemovesEverythingItShouldAndNothingElse();

private:
    void chooseFolderInThePanel(SetupController& c, const QString& folder);
    void setUp(SetupController& c);

    QString project;
};

void JourneyTest::init()
{
    makeInstallation(Place::userApplications);
    install->copyDevelopmentAgent();
    QVERIFY(agentBinary(install->installDir()));
    project = home->filePath("Projects/shop app – ü");
    writeFile(project + "/src/main.ts", "export {}\n");
    QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
}

void JourneyTest::cleanup()
{
    removeInstallation();
}

void JourneyTest::chooseFolderInThePanel(SetupController& c, const QString& folder)
{
    ModalDriver driver([&](QWidget* modal) {
        auto* panel = qobject_cast<QFileDialog*>(modal);
        QVERIFY(panel);
        // Opening the folder itself, with nothing selected inside it, chooses it.
        panel->setDirectory(folder);
        QMetaObject::invokeMethod(panel, "accept");
    });
    c.chooseButton->click();
    QVERIFY(driver.wasCalled());
}

void JourneyTest::setUp(SetupController& c)
{
    QCOMPARE(c.statusLabel->text(), WindowTexts::chooseFolderToStart);
    chooseFolderInThePanel(c, project);
    QVERIFY(c.setupButton->isEnabled());
    QElapsedTimer clock;
    clock.start();
    c.setupButton->click();
    QVERIFY(waitForRunEnd(c));
    qInfo("set-up run: %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(c.statusLabel->text(), setupCompletionMessage(true));
    QVERIFY(c.log->toPlainText().contains("✓ register: "));
    QVERIFY(c.log->toPlainText().endsWith("✓ done: Set-up complete.\n"));
    QVERIFY(c.openProjectButton->isEnabled() && c.repairButton->isEnabled());
    QCOMPARE(existingAuthorizedFolder().value_or("none"), project);
}

void JourneyTest::setUpThenRepairAtTheNextStart()
{
    {
        SetupController first;
        first.window->show();
        setUp(first);
    }
    // The next start finds the registration, shows the folder and repairs.
    SetupController next;
    next.window->show();
    QCOMPARE(next.folderLabel->text(), project);
    QCOMPARE(next.statusLabel->text(), WindowTexts::existingInstallation);
    QTRY_VERIFY(next.child);
    QVERIFY(waitForRunEnd(next));
    QCOMPARE(next.statusLabel->text(), setupCompletionMessage(true));
    QVERIFY(next.log->toPlainText().endsWith("✓ done: Repair complete.\n"));
    QVERIFY(next.openProjectButton->isEnabled());
}

void JourneyTest::uninstallRemovesEverythingItShouldAndNothingElse()
{
    // Names that a careless shell command or a link-following deletion would
    // turn against the user's own files.
    project = home->filePath("-rf 'quoted' \"double\" .. $HOME");
    writeFile(project + "/src/main.ts", "export {}\n");
    QVERIFY(QFile::link(home->path(), install->installDir() + "/dist/link to home"));
    QVERIFY(QFile::link(project, install->bundle() + "/link to project"));
    SetupController c;
    c.window->show();
    setUp(c);
    writeFile(project + "/" + AgentContract::historyFolderName + "/history.json", "[]");
    const QString registration = home->filePath(AgentContract::launchAgentPropertyListPath);
    QVERIFY(QFileInfo::exists(registration));

    QString finalMessage;
    std::unique_ptr<ModalDriver> notice;
    ModalDriver confirm([&](QWidget* modal) {
        auto* dialog = qobject_cast<UninstallConfirmation*>(modal);
        QVERIFY(dialog);
        dialog->removeCredentials->click();
        dialog->removeHistory->click();
        dialog->accept();
        // The final notice follows once the agent has run and the files are gone.
        notice = std::make_unique<ModalDriver>([&](QWidget* alert) {
            finalMessage = qobject_cast<QMessageBox*>(alert)->text();
            qobject_cast<QMessageBox*>(alert)->buttons().first()->click();
        });
    });
    QTimer::singleShot(0, c.uninstallButton, &QPushButton::click);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QCoreApplication::exec(), 0); // the program ended
    qInfo("uninstall, confirmation to end: %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(finalMessage, QStringLiteral("Halden was uninstalled."));
    QVERIFY(!QFileInfo::exists(registration));
    QVERIFY(!QFileInfo::exists(project + "/.halden"));
    QVERIFY(!QFileInfo::exists(install->installDir()));
    QVERIFY(QFileInfo::exists(project + "/src/main.ts"));
    QVERIFY(QFileInfo::exists(home->filePath(".vscode/extensions/tervan.halden-0.9.0")));
    QVERIFY(QFileInfo::exists(home->filePath("Applications")));
}

QTEST_MAIN(JourneyTest)
#include "test_journey.moc"
