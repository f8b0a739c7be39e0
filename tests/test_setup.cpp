// Set-up and repair as the user sees them: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

class SetupTest : public HaldenTest {
    Q_OBJECT

private slots:
    void setupFlows_data()
    {
        scenarioColumns();
        const QString extension = "echo '{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}'";
        QTest::newRow("confirmed") << extension << "folder"
                                   << "setup"
                                   << "E-EEEC | confirmed | ✓ done: /"
                                   << "--setup " SETUP_ARGS " (setting up)";
        QTest::newRow("repair, not confirmed") << doneOk << "folder repair"
                                               << "repair"
                                               << "EEEEEC | not confirmed | ✓ done: /"
                                               << "--repair " SETUP_ARGS " (repairing)";
        QTest::newRow("no done") << "echo '{\"step\":\"check\",\"status\":\"ok\"}'"
                                 << "folder open"
                                 << "setup"
                                 << "E-E-EC | red: set-up failed | ✓ check: /"
                                 << "--setup " SETUP_ARGS " (setting up)";
        QTest::newRow("repair, done warn") << "echo '{\"step\":\"done\",\"status\":\"warn\",\"message\":\"partly\"}'"
                                           << "folder repair open"
                                           << "repair"
                                           << "EEE-EC | red: repair failed | ! done: partly/"
                                           << "--repair " SETUP_ARGS " (repairing)";
        QTest::newRow("registered, then exit 5")
            << "echo '{\"step\":\"register\",\"status\":\"ok\"}'; echo denied >&2; exit 5"
            << "folder"
            << "setup"
            << "EEE-EC | red: set-up failed | ✓ register: /error: denied//"
            << "--setup " SETUP_ARGS " (setting up)";
        QTest::newRow("set-up, no folder") << ""
                                           << "repair"
                                           << "setup"
                                           << "--E-EC | red: choose first | old/"
                                           << "";
        QTest::newRow("repair, no folder") << ""
                                           << "repair"
                                           << "repair"
                                           << "--E-EC | before | old/"
                                           << "";
        QTest::newRow("set-up, no agent") << "-"
                                          << "folder"
                                          << "setup"
                                          << "--E--C | before | old/"
                                          << "";
        QTest::newRow("repair, no agent") << "-"
                                          << "folder repair"
                                          << "repair"
                                          << "--E--C | before | old/"
                                          << "";
        QTest::newRow("set-up while an agent runs") << ""
                                                    << "folder repair open running"
                                                    << "setup"
                                                    << "---EEC | setting up | "
                                                    << "";
        QTest::newRow("open, no VS Code") << ""
                                          << "folder"
                                          << "open"
                                          << "--E-EC | red: not found | old/"
                                          << "";
        QTest::newRow("open, no folder") << ""
                                         << ""
                                         << "open"
                                         << "--E-EC | red: not found | old/"
                                         << "";
    }

    void setupFlows() { scenario(); }
};

QTEST_MAIN(SetupTest)
#include "test_setup.moc"
