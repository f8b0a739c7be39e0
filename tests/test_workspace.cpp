// Each test function runs in a process of its own (see CMakeLists.txt): GIO
// reads the desktop entries of a process once.
#include "app/globals.h"
#include "install/setup_texts.h"
#include "install/support_link.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"
#include "support/controller_probe.h"
#include "support/installation_fixture.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class WorkspaceTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void launchesVsCodeWithTheFolderAsOneArgument();
    void noDesktopEntryMeansNotFound();
    void failedLaunchShowsCouldNotOpen();
    void alternativeDesktopEntriesAreFound();
    void helpAndSupportOpenTheirUrls();

private:
    void installDesktopEntry(const QString& id, const QString& program);
    QString recordingProgram();
    bool isError() const { return statusIsError(*c); }

    QTemporaryDir data;
    QString record;
};

void WorkspaceTest::initTestCase()
{
    // Only our own desktop entries: none of the machine's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.filePath("home")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data.filePath("system")));
    QDir().mkpath(data.filePath("home/applications"));
    QDir().mkpath(data.filePath("system"));
}

void WorkspaceTest::init()
{
    makeInstallation();
    install->writeAgentScript("exit 0");
    startController();
    record = home->filePath("vscode-arguments");
}

void WorkspaceTest::cleanup()
{
    removeInstallation();
}

void WorkspaceTest::installDesktopEntry(const QString& id, const QString& program)
{
    writeFile(data.filePath("home/applications/" + id),
              "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\"" + program.toUtf8() + "\" %F\n");
}

QString WorkspaceTest::recordingProgram()
{
    const QString program = home->filePath("code");
    writeExecutable(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record.toUtf8() + "'\n");
    return program;
}

void WorkspaceTest::launchesVsCodeWithTheFolderAsOneArgument()
{
    installDesktopEntry("code.desktop", recordingProgram());
    const QString project = home->filePath("My Project/ünïcødé");
    QDir().mkpath(project);
    c->folder = project;
    c->extensionInstalled = false;
    c->openProjectButton->setEnabled(true);
    c->setStatus("before", true);
    c->openProject();
    // Nothing is reported before the launch has come back on the main thread.
    QCOMPARE(c->statusLabel->text(), QStringLiteral("before"));
    QVERIFY(!c->child && c->openProjectButton->isEnabled() && c->window->isCloseEnabled());
    QTRY_COMPARE(c->statusLabel->text(), setupCompletionMessage(false));
    QVERIFY(!isError());
    QTRY_COMPARE(recordedLines(record), QStringList{project});
    QVERIFY(c->openProjectButton->isEnabled() && c->chooseButton->isEnabled());

    // The text follows the extension flag as it is at that moment.
    c->extensionInstalled = true;
    c->openProject();
    QTRY_COMPARE(c->statusLabel->text(), setupCompletionMessage(true));
}

void WorkspaceTest::noDesktopEntryMeansNotFound()
{
    const QString notFound = "Visual Studio Code was not found. Open it and select the authorized project folder.";
    c->openProject(); // no folder
    QCOMPARE(c->statusLabel->text(), notFound);
    QVERIFY(isError());

    c->setStatus("reset", false);
    c->folder = home->path();
    c->openProjectButton->setEnabled(true);
    c->openProject(); // no VS Code
    QCOMPARE(c->statusLabel->text(), notFound);
    QVERIFY(isError());
    QVERIFY(c->openProjectButton->isEnabled());
}

void WorkspaceTest::failedLaunchShowsCouldNotOpen()
{
    // The entry is there, but the process cannot be spawned: GIO starts every
    // application through its launch helper, which is pointed at nothing here.
    installDesktopEntry("code.desktop", recordingProgram());
    qputenv("GIO_LAUNCH_DESKTOP", QFile::encodeName(home->filePath("no-such-helper")));
    c->folder = home->path();
    c->openProjectButton->setEnabled(true);
    c->openProject();
    QTRY_COMPARE(c->statusLabel->text(),
                 QStringLiteral("Could not open VS Code. Open it and select the authorized project folder."));
    QVERIFY(isError());
    QVERIFY(c->openProjectButton->isEnabled());
}

void WorkspaceTest::alternativeDesktopEntriesAreFound()
{
    installDesktopEntry("com.visualstudio.code.desktop", recordingProgram());
    c->folder = home->path();
    c->openProject();
    QTRY_COMPARE(recordedLines(record), QStringList{home->path()});
    QVERIFY(!isError());
}

void WorkspaceTest::helpAndSupportOpenTheirUrls()
{
    UrlCatcher catcher;
    for (const char* scheme : {"https", "http", "mailto"})
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    c->helpLinkButton->click();
    c->supportLinkButton->click();
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls[0], helpURL);
    QCOMPARE(catcher.urls[1].toString(QUrl::FullyEncoded),
             "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup");
    QCOMPARE(catcher.urls[1].scheme(), QStringLiteral("mailto"));
    QVERIFY(!helpURL.host().isEmpty() && helpURL.host().endsWith(".example")); // never a real third party
    QVERIFY(supportAddress.endsWith(".example"));

    QVERIFY(!supportMailUrl("support team@tervan example"));
    QVERIFY(!supportMailUrl(QString()));
    QVERIFY(supportMailUrl(supportAddress));
    for (const char* scheme : {"https", "http", "mailto"})
        QDesktopServices::unsetUrlHandler(scheme);
}

QTEST_MAIN(WorkspaceTest)
#include "test_workspace.moc"
