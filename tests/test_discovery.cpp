#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "install/launch_agent_registration.h"
#include "support/fixture.h"

#include <QDir>
#include <QProcess>
#include <QTest>

class DiscoveryTest : public FixtureTest {
    Q_OBJECT

private slots:
    void installFolderMustBearTheName_data();
    void installFolderMustBearTheName();
    void agentBinaryMustBeAnExecutableFile();
    void registration_data();
    void registration();
    void malformedPropertyListsGiveNone();
    void bundleIsWhereTheProgramWasStartedFrom();
};

void DiscoveryTest::installFolderMustBearTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("exact") << installDirName << true;
    QTest::newRow("suffix") << installDirName + " 2" << false;
    QTest::newRow("letter case") << installDirName.toLower() << false;
    QTest::newRow("Downloads") << "Downloads" << false;
}

void DiscoveryTest::installFolderMustBearTheName()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    const StagedInstall staged(home->path(), name);
    QCOMPARE(installDir(), valid ? std::optional(staged.installDir()) : std::nullopt);
}

void DiscoveryTest::agentBinaryMustBeAnExecutableFile()
{
    const QString folder = install->installDir();
    QVERIFY(agentBinary(folder));
    QFile::remove(install->agentPath());
    const bool x86 = AgentContract::executableName.endsWith("x86_64");
    writeExecutable(folder + "/dist/tervan-agent-" + (x86 ? "arm64" : "x86_64"), "#!/bin/sh\n");
    QVERIFY(!agentBinary(folder)); // the other processor's agent is never taken
    writeFile(install->agentPath(), "#!/bin/sh\n");
    QVERIFY(!agentBinary(folder)); // no execute bit: not even root may run it
    QFile::remove(install->agentPath());
    QDir().mkpath(install->agentPath());
    QVERIFY(!agentBinary(folder));
}

void DiscoveryTest::registration_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("found"); // relative to the home; "" for none
    const QString project = "@/my prøject";
    QTest::newRow("agent, switch, folder") << QStringList{"/agent", "-v", "--allow-root", project} << 0 << "my prøject";
    QTest::newRow("binary") << QStringList{"--allow-root", project} << 1 << "my prøject";
    QTest::newRow("trailing separator") << QStringList{"--allow-root", project + "/"} << 0 << "my prøject";
    QTest::newRow("link to a folder") << QStringList{"--allow-root", "@/link"} << 1 << "link";
    QTest::newRow("switch last") << QStringList{"/agent", "--allow-root"} << 0 << "";
    QTest::newRow("joined with =") << QStringList{"--allow-root=" + project} << 0 << "";
    QTest::newRow("other case") << QStringList{"--Allow-Root", project} << 0 << "";
    QTest::newRow("empty array") << QStringList{} << 1 << "";
    QTest::newRow("first names a deleted folder") << QStringList{"--allow-root", "@/gone", "--allow-root", project} << 0 << "";
    QTest::newRow("a file") << QStringList{"--allow-root", "@/file"} << 0 << "";
    QTest::newRow("relative path") << QStringList{"--allow-root", "my prøject"} << 0 << "";
}

void DiscoveryTest::registration()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, format);
    QFETCH(QString, found);
    QVERIFY(!existingAuthorizedFolder());
    QDir().mkpath(home->filePath("my prøject"));
    writeFile(home->filePath("file"), "x");
    QFile::link(home->filePath("my prøject"), home->filePath("link"));
    QDir::setCurrent(home->path()); // where a relative path would lead
    writeRegistration(home->path(), arguments.replaceInStrings("@", home->path()), PlistFormat(format));
    QCOMPARE(existingAuthorizedFolder(), found.isEmpty() ? std::nullopt : std::optional(home->filePath(found)));
    QDir::setCurrent(QDir::rootPath());
}

void DiscoveryTest::malformedPropertyListsGiveNone()
{
    const auto xml = [](const QByteArray& body) { return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</plist>"; };
    const QByteArray good = propertyList({"--allow-root", "/tmp"}, PlistFormat::binary);
    QByteArray withNul = propertyList({"--allow-root", "/tmp/ü"}, PlistFormat::binary);
    withNul.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2)); // the library aborts on it if asked naively
    const QByteArray cycle = QByteArray("bplist00\xa1\x00\x08", 11) + QByteArray(6, 0) + "\x01\x01" + QByteArray(7, 0)
        + "\x01" + QByteArray(15, 0) + "\x0a"; // an array holding itself
    const QList<QByteArray> bad{good.left(good.size() / 2), cycle, withNul,
                                xml("<array><string>--allow-root</string><string>/tmp</string></array>"),
                                xml("<dict><key>ProgramArguments</key><string>--allow-root /tmp</string></dict>"),
                                xml("<dict><key>ProgramArguments</key><array><string>--allow-root</string>"
                                    "<string>/tmp</string><integer>1</integer></array></dict>")};
    QCOMPARE(authorizedFolderInPropertyList(good), std::optional<QString>("/tmp"));
    for (const QByteArray& contents : bad)
        QVERIFY2(!authorizedFolderInPropertyList(contents), contents.toHex().left(40).constData());

    QByteArray huge = propertyList({"--allow-root", home->path()}, PlistFormat::xml);
    writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
              huge.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>"));
    QVERIFY(!existingAuthorizedFolder());
}

void DiscoveryTest::bundleIsWhereTheProgramWasStartedFrom()
{
    // The probe stands in a folder of its own, reached through a link too.
    const QString real = home->filePath("real/Halden Setup");
    QDir().mkpath(real);
    QVERIFY(QFile::copy(HALDEN_BUNDLE_PROBE, real + "/probe"));
    QVERIFY(QFile::link(home->filePath("real"), home->filePath("linked")));
    const auto ask = [](QProcess& probe) {
        probe.write("?\n");
        return probe.waitForReadyRead(5000) ? QString::fromUtf8(probe.readLine()).trimmed() : QString();
    };
    for (const QString& via : {home->filePath("real"), home->filePath("linked")}) {
        QProcess probe;
        probe.start(via + "/Halden Setup/probe");
        QCOMPARE(ask(probe), via + "/Halden Setup");
        if (via.endsWith("real")) { // renamed while it runs: seen at the next question
            QVERIFY(QDir().rename(real, home->filePath("real/Renamed")));
            QCOMPARE(ask(probe), home->filePath("real/Renamed"));
            QVERIFY(QDir().rename(home->filePath("real/Renamed"), real));
        }
        probe.closeWriteChannel();
        QVERIFY(probe.waitForFinished(5000));
    }
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "test_discovery.moc"
