// Uninstall as the user sees it: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

class UninstallTest : public HaldenTest {
    Q_OBJECT

private slots:
    void uninstallFlows_data()
    {
        scenarioColumns();
        const QString failing
            = "echo '{\"step\":\"unregister\",\"status\":\"failed\",\"message\":\"busy\"}'; echo 'in use' >&2; exit 4";
        QTest::newRow("neither box") << "exit 1"
                                     << "folder"
                                     << "uninstall"
                                     << "E-E-EC | red: uninstall failed | "
                                     << "--uninstall confirm (removing)";
        QTest::newRow("both boxes") << "exit 1"
                                    << "folder"
                                    << "uninstall credentials history"
                                    << "E-E-EC | red: uninstall failed | "
                                    << "--uninstall --remove-credentials --remove-history ~/project confirm (removing)";
        QTest::newRow("no folder for history") << "exit 1"
                                               << ""
                                               << "uninstall credentials history"
                                               << "--E-EC | red: uninstall failed | "
                                               << "--uninstall --remove-credentials confirm (no history) (removing)";
        QTest::newRow("cancelled") << ""
                                   << "folder"
                                   << "uninstall cancel"
                                   << "--E-EC | before | old/"
                                   << "confirm";
        QTest::newRow("an agent runs") << ""
                                       << "folder running"
                                       << "uninstall"
                                       << "--E-EC | before | old/"
                                       << "";
        QTest::newRow("no agent") << "-"
                                  << "folder"
                                  << "uninstall"
                                  << "--E--C | before | old/"
                                  << "";
        QTest::newRow("installed elsewhere") << ""
                                             << "folder elsewhere"
                                             << "uninstall"
                                             << "--E-EC | red: unsupported | old/"
                                             << "";
        QTest::newRow("agent fails, then again")
            << failing << "folder"
            << "uninstall uninstall"
            << "E-E-EC | red: uninstall failed | ✗ unregister: busy/error: in use//"
            << "--uninstall --uninstall confirm (removing) confirm (removing)";
        QTest::newRow("approval cancelled, retried alone") << ""
                                                           << "folder repair open pending approval=126"
                                                           << "uninstall uninstall"
                                                           << "----EC | red: cancelled | old/"
                                                           << "approval approval";
        QTest::newRow("approval refused") << ""
                                          << "pending approval=127"
                                          << "uninstall"
                                          << "----EC | red: incomplete | old/"
                                          << "approval";
        QTest::newRow("per-user folder undeletable") << ""
                                                     << "folder repair open undeletable"
                                                     << "uninstall uninstall"
                                                     << "----EC | red: no permission | "
                                                     << "--uninstall confirm (removing)";
        QTest::newRow("shared removal approved") << ""
                                                 << "pending approval=0"
                                                 << "uninstall"
                                                 << "------ | before | old/"
                                                 << "approval Halden was uninstalled.";
        QTest::newRow("per-user removal") << ""
                                          << "folder"
                                          << "uninstall"
                                          << "------ | removing | "
                                          << "--uninstall confirm (removing) Halden was uninstalled.";
    }

    void uninstallFlows() { scenario(); }
};

QTEST_MAIN(UninstallTest)
#include "test_uninstall.moc"
