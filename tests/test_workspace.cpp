// Each test function runs in a process of its own (see CMakeLists.txt): GIO
// reads the desktop entries of a process once.
#include "app/globals.h"
#include "install/setup_texts.h"
#include "support/fixture.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QStringList urls;

public slots:
    void open(const QUrl& url) { urls << url.toString(QUrl::FullyEncoded); }
};

class WorkspaceTest : public FixtureTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void launchesVsCodeWithTheFolderAsOneArgument();
    void noDesktopEntryMeansNotFound();
    void failedLaunchShowsCouldNotOpen();
    void alternativeDesktopEntriesAreFound();
    void helpAndSupportOpenTheirUrls();

private:
    QString desktopEntry(const QString& id);
    QTemporaryDir data;
};

void WorkspaceTest::initTestCase()
{
    // Only our own desktop entries: none of the machine's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.filePath("home")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data.filePath("system")));
}

// A VS Code that records its arguments into the returned file.
QString WorkspaceTest::desktopEntry(const QString& id)
{
    const QString record = home->filePath("vscode-arguments");
    writeExecutable(home->filePath("code"), "#!/bin/sh\n" + recordArguments(record).toUtf8() + "\n");
    writeFile(data.filePath("home/applications/" + id),
              "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\"" + home->filePath("code").toUtf8() + "\" %F\n");
    return record;
}

void WorkspaceTest::launchesVsCodeWithTheFolderAsOneArgument()
{
    const QString record = desktopEntry("code.desktop");
    start();
    c->folder = home->filePath("My Project/ünï");
    c->setStatus("before", true);
    c->openProject();
    QCOMPARE(c->statusLabel->text(), QStringLiteral("before")); // nothing until the launch reports back
    QTRY_COMPARE(c->statusLabel->text(), setupCompletionMessage(false));
    QVERIFY(!statusIsRed(*c) && !c->child);
    QTRY_COMPARE(recordedLines(record), QStringList{*c->folder});
    c->extensionInstalled = true; // the text follows the flag as it is then
    c->openProject();
    QTRY_COMPARE(c->statusLabel->text(), setupCompletionMessage(true));
}

void WorkspaceTest::noDesktopEntryMeansNotFound()
{
    start();
    for (const bool withFolder : {false, true}) {
        c->folder = withFolder ? std::optional(home->path()) : std::nullopt;
        c->setStatus("before", false);
        c->openProject();
        QCOMPARE(c->statusLabel->text(),
                 QStringLiteral("Visual Studio Code was not found. Open it and select the authorized project folder."));
        QVERIFY(statusIsRed(*c));
    }
}

void WorkspaceTest::failedLaunchShowsCouldNotOpen()
{
    // The entry is there, but GIO's launch helper, through which it starts
    // every application, is pointed at nothing.
    desktopEntry("code.desktop");
    qputenv("GIO_LAUNCH_DESKTOP", QFile::encodeName(home->filePath("no-such-helper")));
    start();
    c->folder = home->path();
    c->openProject();
    QTRY_COMPARE(c->statusLabel->text(), QStringLiteral("Could not open VS Code. Open it and select the authorized project folder."));
    QVERIFY(statusIsRed(*c));
}

void WorkspaceTest::alternativeDesktopEntriesAreFound()
{
    const QString record = desktopEntry("com.visualstudio.code.desktop");
    start();
    c->folder = home->path();
    c->openProject();
    QTRY_COMPARE(recordedLines(record), QStringList{home->path()});
}

void WorkspaceTest::helpAndSupportOpenTheirUrls()
{
    UrlCatcher catcher;
    for (const char* scheme : {"https", "mailto"})
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    start();
    c->helpLinkButton->click();
    c->supportLinkButton->click();
    QCOMPARE(catcher.urls, QStringList({helpURL.toString(), "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup"}));
    QVERIFY(helpURL.host().endsWith(".example") && supportAddress.endsWith(".example")); // never a real third party
}

QTEST_MAIN(WorkspaceTest)
#include "test_workspace.moc"
