#include "halden_test.h"

#include "app/program_window.h"
#include "platform/bundle_location.h"
#include "platform/privileged_shell.h"
#include "setup/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("could not write %s", qPrintable(path));
}

void writeScript(const QString& path, const QString& script)
{
    writeFile(path, "#!/bin/sh\n" + script.toUtf8() + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
}

QStringList recordedLines(const QString& path)
{
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    return text.isEmpty() ? QStringList {} : text.chopped(text.endsWith(u'\n') ? 1 : 0).split(u'\n');
}

QByteArray propertyList(const QStringList& programArguments, PlistFormat format)
{
    const platform::PlistPtr root(plist_new_dict());
    plist_t arguments = plist_new_array();
    for (const QString& argument : programArguments)
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    plist_dict_set_item(root.get(), "ProgramArguments", arguments);
    return platform::serializePropertyList(root.get(), format);
}

// Waits for events rather than polling: a run of the stand-in agent takes a few milliseconds.
bool waitForRunEnd(SetupController& c)
{
    QTimer wake; // so that the deadline is seen whatever the run does
    wake.start(100);
    const QDeadlineTimer deadline(20000);
    while (c.child && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !c.child;
}

// The processes the suite started that still run: its children, and the orphans of its children, which come to the
// suite as their subreaper.
static QStringList livingChildren()
{
    QStringList living; // "pid (name)"
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        // "pid (name) state parent …", where the name may hold anything
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] != "Z" && fields[1].toInt() == getpid())
            living << line.left(line.lastIndexOf(')') + 1);
    }
    return living;
}

void HaldenTest::initTestCase()
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    qputenv("XDG_DATA_DIRS", "/nonexistent"); // only the test's own desktop entries, none of the machine's
}

void HaldenTest::init() { makeHome(); }

void HaldenTest::makeHome()
{
    c.reset();
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home->filePath("data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home->path())); // the user's runtime folder, the test's own
    installDir = home->filePath("Applications/" + installDirName);
    bundle = installDir + "/Halden Setup";
    agentPath = installDir + "/dist/" + AgentContract::executableName;
    QDir().mkpath(bundle);
    writeAgent("exit 0");
    platform::setBundlePathForTesting(bundle);
    setModalAnswererForTesting([this](QDialog& modal) {
        unexpected << modal.metaObject()->className();
        return int(QDialog::Rejected);
    });
}

void HaldenTest::cleanup()
{
    setModalAnswererForTesting(std::nullopt);
    const QStringList odd = std::exchange(unexpected, {});
    c.reset();
    platform::setBundlePathForTesting(std::nullopt);
    platform::setPrivilegeHelperForTesting(std::nullopt);
    ProgramRemoval::setSharedDirectoryForTesting(std::nullopt);
    home.reset();
    // No test leaves a process behind; one that did has it ended here.
    const bool ended = QTest::qWaitFor([] { return livingChildren().isEmpty(); }, 5000);
    const QStringList left = livingChildren();
    for (const QString& process : left)
        kill(process.section(' ', 0, 0).toInt(), SIGKILL);
    QVERIFY2(ended, qPrintable("left behind: " + left.join(", ")));
    QVERIFY2(odd.isEmpty(), qPrintable("dialogs no test answered: " + odd.join(", ")));
}

void HaldenTest::showAsTheProgramDoes()
{
    QFile::copy(HALDEN_RESOURCES_DIR "/HaldenInstaller.png", bundle + "/HaldenInstaller.png");
    presentSetupWindow(start());
    QVERIFY(QTest::qWaitForWindowActive(c->window));
}
