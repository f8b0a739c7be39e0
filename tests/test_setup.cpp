// Set-up and repair as the user sees them: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

class SetupTest : public HaldenTest {
    Q_OBJECT

private slots:
    void setupFlows_data()
    {
        scenarioColumns();
        scenarioRow("repair, not confirmed", doneOk, "folder chosen, repair available", "repair",
            "set-up repair choose open uninstall close", "not confirmed", "✓ done: /",
            "--repair " SETUP_ARGS " (repairing)");
        scenarioRow("no done", "echo '{\"step\":\"check\",\"status\":\"ok\"}'", "folder chosen, project opened",
            "setup", "set-up choose uninstall close", "red: set-up failed", "✓ check: /",
            "--setup " SETUP_ARGS " (setting up)");
        scenarioRow("repair, done warn", "echo '{\"step\":\"done\",\"status\":\"warn\",\"message\":\"partly\"}'",
            "folder chosen, repair available, project opened", "repair", "set-up repair choose uninstall close",
            "red: repair failed", "! done: partly/", "--repair " SETUP_ARGS " (repairing)");
        scenarioRow("registered, then exit 5",
            "echo '{\"step\":\"register\",\"status\":\"ok\"}'; echo denied >&2; exit 5", "folder chosen", "setup",
            "set-up repair choose uninstall close", "red: set-up failed", "✓ register: /error: denied//",
            "--setup " SETUP_ARGS " (setting up)");
        scenarioRow("set-up, no folder", "", "repair available", "setup", "choose uninstall close", "red: choose first",
            "old/");
        scenarioRow("repair, no agent", "", "no agent binary, folder chosen, repair available", "repair",
            "choose close", "before", "old/");
        scenarioRow("set-up while an agent runs", "", "folder chosen, repair available, project opened, agent running",
            "setup", "", "setting up", "");
        scenarioRow(
            "open, no VS Code", "", "folder chosen", "open", "set-up choose uninstall close", "red: not found", "old/");
        scenarioRow("open, no folder", "", "", "open", "choose uninstall close", "red: not found", "old/");
    }
    void setupFlows() { scenario(); }
};

QTEST_MAIN(SetupTest)
#include "test_setup.moc"
