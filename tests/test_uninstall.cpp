// Uninstall as the user sees it: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

#include "uninstall/uninstall_dialogs.h"

class UninstallTest : public HaldenTest {
    Q_OBJECT

private slots:
    void uninstallFlows_data()
    {
        scenarioColumns();
        const QString failing
            = "echo '{\"step\":\"unregister\",\"status\":\"failed\",\"message\":\"busy\"}'; echo 'in use' >&2; exit 4";
        scenarioRow("neither box", "exit 1", "folder chosen", "uninstall", "set-up choose uninstall close",
            "red: uninstall failed", "", "--uninstall confirm (removing)");
        scenarioRow("both boxes", "exit 1", "folder chosen", "uninstall credentials history",
            "set-up choose uninstall close", "red: uninstall failed", "",
            "--uninstall --remove-credentials --remove-history ~/project confirm (removing)");
        scenarioRow("no folder for history", "exit 1", "", "uninstall credentials history", "choose uninstall close",
            "red: uninstall failed", "", "--uninstall --remove-credentials confirm (no history) (removing)");
        scenarioRow("cancelled", "", "folder chosen", "uninstall cancel", "set-up choose uninstall close", "before",
            "old/", "confirm");
        scenarioRow("an agent runs", "", "folder chosen, agent running", "uninstall", "", "before", "old/");
        scenarioRow("no agent", "", "no agent binary, folder chosen", "uninstall", "choose close", "before", "old/");
        scenarioRow("installed elsewhere", "", "folder chosen, installed elsewhere", "uninstall",
            "set-up choose uninstall close", "red: unsupported", "old/");
        scenarioRow("agent fails, then again", failing, "folder chosen", "uninstall uninstall",
            "set-up choose uninstall close", "red: uninstall failed", "✗ unregister: busy/error: in use//",
            "--uninstall --uninstall confirm (removing) confirm (removing)");
        scenarioRow("approval cancelled, retried alone", "",
            "folder chosen, repair available, project opened, removal pending, approval exits 126",
            "uninstall uninstall", "uninstall close", "red: cancelled", "old/", "approval approval");
        scenarioRow("approval refused", "", "removal pending, approval exits 127", "uninstall", "uninstall close",
            "red: incomplete", "old/", "approval");
        // The agent makes the folder anew at its path: it is not the one planned, and never removed.
        scenarioRow("per-user folder replaced meanwhile",
            "cd ~/Applications && mv T* ~/moved && mkdir 'Tervan Halden Beta'",
            "folder chosen, repair available, project opened", "uninstall uninstall", "uninstall close",
            "red: unsupported", "", "--uninstall confirm (removing)");
        scenarioRow("shared removal approved", "", "removal pending, approval exits 0", "uninstall", "", "before",
            "old/", "approval uninstalled");
    }
    void uninstallFlows() { scenario(); }

    void sharedConfirmationText() // the per-user one is read in the rows above
    {
        QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
            "Stops and removes the local agent for your account. Removes the shared Halden application and CLI from "
            "this Mac. macOS will ask for administrator approval. The VS Code extension stays installed. Project "
            "history and saved credentials are kept unless you select their removal below.");
    }
};

QTEST_MAIN(UninstallTest)
#include "test_uninstall.moc"
