#include "halden_test.h"

#include "app/program_window.h"
#include "platform/bundle_location.h"
#include "platform/privileged_shell.h"
#include "setup/modal_dialog.h"
#include "uninstall/uninstall_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>

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

void HaldenTest::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home->filePath("data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home->path())); // where a started program meets its other starts
    installDir = home->filePath("Applications/" + installDirName);
    bundle = installDir + "/Halden Setup";
    agentPath = installDir + "/dist/" + AgentContract::executableName;
    QDir().mkpath(bundle);
    writeAgent("exit 0");
    platform::setBundlePathForTesting(bundle);
    setModalAnswererForTesting([this](QDialog& modal) { return answerModal(modal); });
}

// Answers the dialog as the user would, if it is the one the test said comes next.
int HaldenTest::answerModal(QDialog& modal)
{
    const auto [kind, answer] = answers.isEmpty() ? std::pair<QString, QString>() : answers.takeFirst();
    modal.setResult(-1); // as an answer that does nothing leaves it
    if (auto* panel = qobject_cast<QFileDialog*>(&modal); panel && kind == "panel") {
        seen << panel->labelText(QFileDialog::Accept) + " | " + panel->windowTitle() + " | "
                + QString::number(panel->fileMode()) + " | " + panel->selectedFiles().join(", "); // where it opens
        panel->selectFile(answer);
        QMetaObject::invokeMethod(panel, answer == "cancel" ? "reject" : "accept");
    } else if (auto* confirmation = qobject_cast<UninstallConfirmation*>(&modal); confirmation && kind == "confirm") {
        seen << confirmation->findChild<QLabel*>("message")->text() + " "
                + confirmation->findChild<QLabel*>("informativeText")->text();
        if (!confirmation->removeHistory->isEnabled())
            seen << "(no history)";
        confirmation->removeCredentials->setChecked(answer.contains("credentials"));
        confirmation->removeHistory->setChecked(answer.contains("history"));
        for (QPushButton* button : confirmation->findChildren<QPushButton*>())
            if (button->text() == (answer.contains("cancel") ? "Cancel" : "Uninstall"))
                button->click();
    } else if (auto* notice = qobject_cast<QMessageBox*>(&modal); notice && kind == "notice") {
        seen << notice->text() + " " + notice->informativeText();
        notice->buttons().first()->click();
    } else {
        unexpected << modal.windowTitle() + " (" + modal.metaObject()->className() + ")";
        return QDialog::Rejected;
    }
    if (modal.result() == -1)
        unexpected << kind + " answered, but it did nothing";
    return modal.result();
}

void HaldenTest::cleanup()
{
    setModalAnswererForTesting(std::nullopt);
    const QStringList odd = std::exchange(unexpected, {})
        + (answers.isEmpty() ? QStringList() : QStringList("missing: " + answers[0].first));
    seen.clear();
    answers.clear();
    c.reset();
    platform::setBundlePathForTesting(std::nullopt);
    platform::setPrivilegeHelperForTesting(std::nullopt);
    home.reset();
    // No test leaves a process behind; one that did has it ended here.
    const bool ended = QTest::qWaitFor([] { return livingChildren().isEmpty(); }, 5000);
    const QStringList left = livingChildren();
    for (const QString& process : left)
        kill(process.section(' ', 0, 0).toInt(), SIGKILL);
    QVERIFY2(ended, qPrintable("left behind: " + left.join(", ")));
    QVERIFY2(odd.isEmpty(), qPrintable("dialogs not as expected: " + odd.join(", ")));
}

void HaldenTest::showAsTheProgramDoes()
{
    QFile::copy(HALDEN_RESOURCES_DIR "/HaldenInstaller.png", bundle + "/HaldenInstaller.png");
    presentSetupWindow(start());
    QVERIFY(QTest::qWaitForWindowActive(c->window));
}
