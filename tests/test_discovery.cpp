// Installation discovery: where the program stands, its agent, and an existing registration, on real files and links.
#include "halden_test.h"

#include "install/launch_agent_registration.h"

class DiscoveryTest : public HaldenTest {
    Q_OBJECT

private slots:
    void discovery_data()
    {
        fileSystemColumns();
        row("install folder", "", "install", "~/Applications/Tervan Halden Beta AGENT");
        row("agent not executable", "chmod -x \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("agent a folder", "rm \"$AGENT\"; mkdir \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("other processor's agent", "mv \"$AGENT\" \"$OTHER\"", "install", "~/Applications/Tervan Halden Beta none");
        row("a number among the arguments", "mkdir p", "found 1 --allow-root ~/p", "none");
        row("registered, by a link", "mkdir p; ln -s p 'my prøject'", "found /agent -v --allow-root \"~/my prøject/\"",
            "~/my prøject");
        row("switch last", "", "found /agent --allow-root", "none");
        row("joined with =", "mkdir p", "found --allow-root=~/p", "none");
        row("first names a file", "touch f; mkdir p", "found --allow-root ~/f --allow-root ~/p", "none");
        row("relative", "mkdir p", "found --allow-root p", "none");
        row("over the size limit", "mkdir p", "found-huge --allow-root ~/p", "none");
        // The library aborts if asked naively.
        row("NUL in a string", "mkdir 'pü'", "found-binary --allow-root ~/pü", "none");
        // A reader that waited for a writer would hang the start-up.
        row("registration a FIFO",
            "mkdir -p Library/LaunchAgents && mkfifo \"Library/LaunchAgents/com.tervan.local-agent.plist\"", "found",
            "none");
    }

    void discovery() { fileSystem(); }
    void bundleIsWhereTheProgramWasStartedFrom()
    {
        // A real program asks, started through a link to it in another folder
        // that points through a link to its folder, and again after its folder
        // was renamed under it.
        const QString real = home->filePath("real/Halden Setup");
        QDir().mkpath(real);
        QVERIFY(QFile::copy(HALDEN_BUNDLE_PROBE, real + "/probe")
            && QFile::link(home->filePath("real"), home->filePath("linked"))
            && QFile::link("linked/Halden Setup/probe", home->filePath("probe")));
        QProcess probe;
        probe.start(home->filePath("probe"));
        const auto ask = [&probe] {
            probe.write("?\n");
            probe.waitForReadyRead(5000);
            return QString(probe.readLine().trimmed());
        };
        QCOMPARE(ask(),
            home->filePath("linked/Halden Setup")); // the link to the program followed, the one to its folder kept
        QVERIFY(QDir().rename(real, real + " 2"));
        QCOMPARE(ask(), real + " 2"); // asked afresh
    }
};

QTEST_MAIN(DiscoveryTest)
#include "test_discovery.moc"
