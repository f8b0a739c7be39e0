// The window's flows as the user sees them: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

#include "uninstall/uninstall_dialogs.h"

class FlowsTest : public HaldenTest {
    Q_OBJECT

private slots:
    void flows_data()
    {
        scenarioColumns();
        // The start, and readiness once a folder is chosen
        row("agent missing", "", "no agent binary", "start", "choose close", "red: missing", "", "");
        row("no installation", "", "", "start", "choose uninstall close", "start", "", "");
        row("existing installation", "", "registered at start", "start", "repair choose uninstall close", "existing",
            "", "");
        row("ready", "", "folder chosen, repair available", "ready", "set-up repair choose uninstall close", "ready",
            "old/", "");
        row("ready, no folder", "", "repair available", "ready", "choose uninstall close", "required", "old/", "");
        row("ready, agent lost", "", "folder chosen, agent lost", "ready", "choose close", "before", "old/", "");
        row("ready while an agent runs", "", "folder chosen, repair available, agent running", "ready", "", "before",
            "old/", "");
        // Set-up, repair and opening the project
        row("repair, not confirmed", doneOk, "folder chosen, repair available", "repair",
            "set-up repair choose open uninstall close", "not confirmed", "✓ done: /",
            "--repair " SETUP_ARGS " (repairing)");
        row("repair, done warn", "echo '{\"step\":\"done\",\"status\":\"warn\",\"message\":\"partly\"}'",
            "folder chosen, repair available, project opened", "repair", "set-up repair choose uninstall close",
            "red: repair failed", "! done: partly/", "--repair " SETUP_ARGS " (repairing)");
        row("registered, then exit 5", "echo '{\"step\":\"register\",\"status\":\"ok\"}'; echo denied >&2; exit 5",
            "folder chosen", "setup", "set-up repair choose uninstall close", "red: set-up failed",
            "✓ register: /error: denied//", "--setup " SETUP_ARGS " (setting up)");
        row("set-up, no folder", "", "repair available", "setup", "choose uninstall close", "red: choose first", "old/",
            "");
        row("repair, no agent", "", "no agent binary, folder chosen, repair available", "repair", "choose close",
            "before", "old/", "");
        row("set-up while an agent runs", "", "folder chosen, repair available, project opened, agent running", "setup",
            "", "setting up", "", "");
        row("open, no VS Code", "", "folder chosen", "open", "set-up choose uninstall close", "red: not found", "old/",
            "");
        row("open, no folder", "", "", "open", "choose uninstall close", "red: not found", "old/", "");
        // Uninstall
        const QString failing
            = "echo '{\"step\":\"unregister\",\"status\":\"failed\",\"message\":\"busy\"}'; echo 'in use' >&2; exit 4";
        row("neither box", "exit 1", "folder chosen", "uninstall", "set-up choose uninstall close",
            "red: uninstall failed", "", "--uninstall confirm (removing)");
        row("both boxes", "exit 1", "folder chosen", "uninstall credentials history", "set-up choose uninstall close",
            "red: uninstall failed", "",
            "--uninstall --remove-credentials --remove-history ~/project confirm (removing)");
        row("no folder for history", "exit 1", "", "uninstall credentials history", "choose uninstall close",
            "red: uninstall failed", "", "--uninstall --remove-credentials confirm (no history) (removing)");
        row("cancelled", "", "folder chosen", "uninstall cancel", "set-up choose uninstall close", "before", "old/",
            "confirm");
        row("an agent runs", "", "folder chosen, agent running", "uninstall", "", "before", "old/", "");
        row("no agent", "", "no agent binary, folder chosen", "uninstall", "choose close", "before", "old/", "");
        row("installed elsewhere", "", "folder chosen, installed elsewhere", "uninstall",
            "set-up choose uninstall close", "red: unsupported", "old/", "");
        row("agent fails, then again", failing, "folder chosen", "uninstall uninstall", "set-up choose uninstall close",
            "red: uninstall failed", "✗ unregister: busy/error: in use//",
            "--uninstall --uninstall confirm (removing) confirm (removing)");
        row("approval cancelled, retried alone", "",
            "folder chosen, repair available, project opened, removal pending, approval exits 126",
            "uninstall uninstall", "uninstall close", "red: cancelled", "old/", "approval approval");
        row("approval refused", "", "removal pending, approval exits 127", "uninstall", "uninstall close",
            "red: incomplete", "old/", "approval");
        // The agent makes the folder anew at its path: it is not the one planned, and never removed.
        row("per-user folder replaced meanwhile", "cd ~/Applications && mv T* ~/moved && mkdir 'Tervan Halden Beta'",
            "folder chosen, repair available, project opened", "uninstall uninstall", "uninstall close",
            "red: unsupported", "", "--uninstall confirm (removing)");
        row("shared removal approved", "", "removal pending, approval exits 0", "uninstall", "", "before", "old/",
            "approval uninstalled");
    }
    void flows() { scenario(); }

    void sharedConfirmationText() // the per-user one is read in the rows above
    {
        QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
            "Stops and removes the local agent for your account. Removes the shared Halden application and CLI from "
            "this Mac. macOS will ask for administrator approval. The VS Code extension stays installed. Project "
            "history and saved credentials are kept unless you select their removal below.");
    }
};

QTEST_MAIN(FlowsTest)
#include "test_flows.moc"
