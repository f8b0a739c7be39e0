// Opening the project in VS Code through its desktop entry.
#include "halden_test.h"

class WorkspaceTest : public HaldenTest {
    Q_OBJECT

private slots:
    void launchesVsCodeWithTheFolderAsOneArgument()
    {
        const bool launched
            = qEnvironmentVariableIsEmpty("GIO_LAUNCH_DESKTOP"); // GIO's launch helper, pointed at nothing by ctest
        const QString record = home->filePath("vscode-arguments");
        writeScript(home->filePath("code"), recordArguments(record));
        writeFile(home->filePath("data/applications/com.visualstudio.code.desktop"),
            "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\"" + home->filePath("code").toUtf8()
                + "\" %F\n");
        start().folder = home->filePath("My Project/ünï");
        for (const bool extension : { false, true }) { // the text follows the flag as it is then
            c->extensionInstalled = extension;
            c->setStatus("before", true);
            c->openProject();
            QTRY_COMPARE(
                c->statusLabel->text(), launched ? setupCompletionMessage(extension) : SetupTexts::vscodeCouldNotOpen);
        }
        QTRY_COMPARE(recordedLines(record), launched ? QStringList(2, *c->folder) : QStringList());
        c->folder.reset(); // without a folder, VS Code is not looked for
        c->openProject();
        QCOMPARE(c->statusLabel->text(), SetupTexts::vscodeNotFound);
    }
};

QTEST_MAIN(WorkspaceTest)
#include "test_workspace.moc"
