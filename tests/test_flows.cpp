// The window's flows over generated sequences of what a user, the agent and the administrator do: after every step
// the controls offered, the status line, the dialogs and the agent's arguments, against a model of the window's rules.
// A failing sequence is shrunk to the shortest and printed as steps to replay; RC_PARAMS="seed=N" runs it again.
#include "halden_test.h"

#include "platform/privileged_shell.h"
#include "setup/modal_dialog.h"
#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"
#include "uninstall/uninstall_texts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <array>
#include <rapidcheck.h>

namespace {

enum class Act { choose, cancel, setUp, repair, open, uninstall, vanish, comeBack, start };
using enum Act;
// What the user does, with the agent's answer (its exit status, whether it reports its registration and confirms the
// extension) and the administrator's (how the approval a removal asks for ends, as the helper exits).
struct Step {
    const char* words;
    Act act;
    int exit = 1;
    bool registers = false, confirms = false;
    int approval = 126;
};
const std::vector<Step> steps { { "Choose Project Folder…, Authorize", choose },
    { "Choose Project Folder…, Cancel", cancel }, { "Set Up Agent: fails", setUp },
    { "Set Up Agent: registers, fails", setUp, 1, 1 }, { "Set Up Agent: succeeds", setUp, 0, 1 },
    { "Set Up Agent: confirms the extension", setUp, 0, 1, 1 }, { "Repair Agent: fails", repair },
    { "Repair Agent: registers, fails", repair, 1, 1 }, { "Repair Agent: succeeds", repair, 0, 1 },
    { "Repair Agent: confirms the extension", repair, 0, 1, 1 }, { "Open Project in VS Code", open },
    { "the agent binary vanishes", vanish }, { "the agent binary comes back", comeBack },
    { "Uninstall…, Cancel (retrying a removal: approval dismissed)", uninstall, -1 },
    { "Uninstall… confirmed, the agent fails (retrying a removal: approval refused)", uninstall, 1, 0, 0, 127 },
    { "Uninstall… confirmed, approval given", uninstall, 0, 0, 0, 0 },
    { "Uninstall… confirmed, approval dismissed", uninstall, 0 },
    { "Uninstall… confirmed, approval refused", uninstall, 0, 0, 0, 127 } };
const std::vector<Step> starts { { "start", start }, { "start without the agent binary", vanish },
    { "start, VS Code not installed", start }, { "start registered, without the agent binary", vanish },
    { "start registered: the repair fails", repair }, { "start registered: the repair succeeds", repair, 0, 1 },
    { "start registered: the repair confirms the extension", repair, 0, 1, 1 } };

void showValue(const Step& step, std::ostream& out) { out << "\n  " << step.words; } // as a person replays it

// The controls offered, and the close button, in words.
QString offered(std::array<bool, 6> on)
{
    QStringList names;
    for (size_t at = 0; at < on.size(); ++at)
        if (on[at])
            names << std::array { "set-up", "repair", "choose", "open", "uninstall", "close" }[at];
    return names.join(' ');
}

// The window's rules as a user is promised them, written apart from the program: each operation enables and
// disables the controls as it is described, in the order it is described.
struct Model {
    bool setup = false, repair = false, choose = true, open = false, uninstall = true, ended = false;
    bool folder = false, agent = true, repairAvailable = false, extension = false, pending = false;
    QString status, dialogs, runs; // what the last step showed, and the arguments of the programs it started
    QString vscodeError; // what opening the project says when VS Code is not there or does not start

    void say(const QString& text, bool error) { status = (error ? "red: " : "") + text; }
    void busyAndBack() // every control withdrawn, then offered again but Open Project, which a set-up or repair offers
    {
        open = false;
        choose = !pending;
        uninstall = true;
        setup = !pending && folder;
        repair = setup && repairAvailable;
    }
    bool run(const Step& step, const QString& arguments)
    {
        runs = arguments;
        repairAvailable = repairAvailable || step.registers;
        extension = step.confirms;
        busyAndBack();
        return step.exit == 0;
    }
    void updateSetupReadiness()
    {
        setup = pending ? setup : agent && folder; // without the agent binary the line in place stays
        if (agent && !pending) {
            repair = folder && repairAvailable;
            say(folder ? WindowTexts::readyToSetUp : WindowTexts::folderRequired, false);
        }
    }
    void setUpOrRepair(const Step& step)
    {
        const bool setUp = step.act == Act::setUp;
        const bool ok = run(step,
            (setUp ? "--setup" : "--repair")
                + QString(" | --allow-root | ~/My Project/ünï | --install-dir | ~/Applications/") + installDirName);
        choose = true;
        open = ok;
        updateSetupReadiness();
        const QString failed = setUp ? SetupTexts::setupFailedStart : SetupTexts::repairFailedStart;
        say(ok ? setupCompletionMessage(extension) : failed + supportAddress + u'.', !ok);
    }
    void begin(const Step& how)
    {
        agent = uninstall = how.act != vanish;
        const QByteArrayView words(how.words);
        vscodeError = words.contains("not installed")         ? SetupTexts::vscodeNotFound
            : qEnvironmentVariableIsSet("GIO_LAUNCH_DESKTOP") ? SetupTexts::vscodeCouldNotOpen // GIO's launch helper
                                                              : "";
        if (how.act != Act::repair)
            return say(agent ? WindowTexts::chooseFolderToStart : WindowTexts::componentsMissing, !agent);
        folder = repairAvailable = repair = true;
        setUpOrRepair(how);
    }
    void take(const Step& step)
    {
        dialogs.clear();
        runs.clear();
        if (!std::array { choose, choose, setup, repair, open, uninstall, true, true }[int(step.act)])
            return;
        if (step.act == Act::choose || step.act == cancel) {
            dialogs = "panel";
            folder = folder || step.act == Act::choose;
            if (step.act == Act::choose)
                updateSetupReadiness();
        } else if ((step.act == setUp || step.act == Act::repair) && agent)
            setUpOrRepair(step);
        else if (step.act == Act::open) { // VS Code opens the folder, as one argument, or the reason it could not
            runs = vscodeError.isEmpty() ? "~/My Project/ünï" : "";
            say(vscodeError.isEmpty() ? setupCompletionMessage(extension) : vscodeError, !vscodeError.isEmpty());
        } else if (step.act == Act::uninstall && (pending || agent)) {
            if (!pending) { // the shared installation's confirmation: its removal asks for the administrator's approval
                dialogs = "Stops and removes the local agent for your account. Removes the shared Halden application "
                          "and CLI from this Mac. macOS will ask for administrator approval. The VS Code extension "
                          "stays installed. Project history and saved credentials are kept unless you select their "
                          "removal below. ";
                if (step.exit < 0)
                    return;
                say(UninstallTexts::uninstallRunning, false);
                if (!run(step, "--uninstall"))
                    return say(UninstallTexts::uninstallFailed, true);
                pending = true;
            }
            busyAndBack(); // the removal: the program ends busy, or offers the retry alone
            ended = step.approval == 0;
            if (ended)
                return void(dialogs += UninstallTexts::finishedMessage);
            say(step.approval == 126 ? UninstallTexts::removalCancelled : UninstallTexts::removalIncomplete, true);
        } else if (step.act == vanish || step.act == comeBack)
            agent = step.act == comeBack;
    }
    std::string shown() const
    {
        const QString controls = ended ? "" : offered({ setup, repair, choose, open, uninstall, true });
        return (controls + " | " + status + " | " + dialogs.trimmed() + " | " + runs).toStdString();
    }
};

} // namespace

class FlowsTest : public HaldenTest {
    Q_OBJECT

    QTemporaryDir vscode; // its desktop entry, for every sequence

    // One sequence from a fresh start: after each step the window as the model has it, or the first difference.
    void replay(const Step& how, const std::vector<Step>& sequence)
    {
        makeHome();
        qputenv("XDG_DATA_HOME", QFile::encodeName(vscode.path())); // GLib reads it once in a process
        const QString project = home->filePath("My Project/ünï"), helper = home->filePath("helper");
        const QString arguments = home->filePath("arguments"); // those of the agent or VS Code, started last
        const QByteArrayView words(how.words);
        words.contains("not installed") ? void(QFile::remove(vscode.filePath("code")))
                                        : writeScript(vscode.filePath("code"), recordArguments(arguments));
        QDir().mkpath(project);
        if (words.contains("registered"))
            writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
                propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
        ProgramRemoval::setSharedDirectoryForTesting(installDir); // removed with the test's administrator approval
        platform::setPrivilegeHelperForTesting(helper);
        const Step* step = &how;
        QString seen;
        Model model;
        setModalAnswererForTesting([&](QDialog& modal) { // as a user answers
            auto* notice = qobject_cast<QMessageBox*>(&modal);
            auto* confirmation = qobject_cast<UninstallConfirmation*>(&modal);
            seen += confirmation ? confirmation->findChild<QLabel*>("informativeText")->text() + " "
                : notice         ? notice->text()
                                 : "panel ";
            if (auto* panel = qobject_cast<QFileDialog*>(&modal))
                panel->selectFile(project);
            step->act == cancel || step->exit < 0 ? modal.reject() : modal.accept();
            return modal.result();
        });
        const auto controls = [this] {
            return offered({ c->setupButton->isEnabled(), c->repairButton->isEnabled(), c->chooseButton->isEnabled(),
                c->openProjectButton->isEnabled(), c->uninstallButton->isEnabled(), c->window->isCloseEnabled() });
        };
        const auto shown = [&] {
            RC_ASSERT(!c->child || controls().isEmpty()); // busy: every control withdrawn
            QCoreApplication::processEvents(); // a run or a launch reported, the start-up repair started
            RC_ASSERT(waitForRunEnd(*c));
            QCoreApplication::processEvents();
            // VS Code starts in its own time, and its record is made before it is written; a run that never comes shows
            // in the comparison.
            static_cast<void>(model.runs.isEmpty() || QTest::qWaitFor([&] { return QFileInfo(arguments).size() > 0; }));
            const QString run = recordedLines(arguments).join(" | ").replace(home->path(), "~");
            QFile::remove(arguments);
            const QColor colour = c->statusLabel->palette().color(QPalette::WindowText);
            const bool red = colour.hslSaturation() > 128 && (colour.hslHue() < 15 || colour.hslHue() > 345);
            return (controls() + " | " + (red ? "red: " : "") + c->statusLabel->text() + " | " + seen.trimmed() + " | "
                + run)
                .toStdString();
        };
        const auto agent = [&](const Step& run) {
            writeAgent(recordArguments(arguments) + "\n"
                + (run.registers ? "echo '{\"step\":\"register\",\"status\":\"ok\"}'\n" : "")
                + (run.exit ? "exit " + QString::number(run.exit)
                            : "echo '{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":"
                            + QString(run.confirms ? "true" : "false") + "}'"));
        };
        how.act == vanish ? void(QFile::remove(agentPath)) : agent(how);
        model.begin(how);
        start();
        RC_ASSERT(shown() == model.shown());
        for (size_t taken = 0; taken < sequence.size() && !model.ended; ++taken) {
            step = &sequence[taken];
            seen.clear();
            if (QFile::exists(agentPath) || step->act == comeBack)
                agent(*step);
            if (step->act == vanish)
                QFile::remove(agentPath);
            writeScript(helper, "exit " + QString::number(step->approval));
            if (step->act < vanish)
                std::array { c->chooseButton, c->chooseButton, c->setupButton, c->repairButton, c->openProjectButton,
                    c->uninstallButton }[int(step->act)]
                    ->click();
            model.take(*step);
            if (const std::string now = shown(); now != model.shown())
                RC_FAIL("after step " + std::to_string(taken + 1) + " the window shows\n  " + now
                    + "\nwhere it should show\n  " + model.shown());
        }
    }

private slots:
    void sequences()
    {
        writeFile(vscode.filePath("applications/com.visualstudio.code.desktop"),
            "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\"" + vscode.filePath("code").toUtf8()
                + "\" %F\n");
        // 2,000 sequences of up to 25 steps unless RC_PARAMS says otherwise; its seed is printed first.
        qputenv("RC_PARAMS", "max_success=2000 " + qgetenv("RC_PARAMS"));
        QVERIFY(rc::check("the window as its rules say after every step", [this] {
            replay(*rc::gen::elementOf(starts),
                *rc::gen::resize(25, rc::gen::container<std::vector<Step>>(rc::gen::elementOf(steps))));
        }));
    }
};

QTEST_MAIN(FlowsTest)
#include "test_flows.moc"
