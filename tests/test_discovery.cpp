#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "install/launch_agent_registration.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <plist/plist.h>

class DiscoveryTest : public QObject {
    Q_OBJECT

private slots:
    void installFolderNameRules_data();
    void installFolderNameRules();
    void agentBinaryMustBeThereAndExecutable();
    void registrationShapes_data();
    void registrationShapes();
    void registrationReadInBothFormats();
    void registrationFolderMustExistAsDirectory();
    void malformedPropertyListsGiveNone();
    void nothingIsCached();
};

void DiscoveryTest::installFolderNameRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("exact") << "Tervan Halden Beta" << true;
    QTest::newRow("suffix") << "Tervan Halden Beta 2" << false;
    QTest::newRow("letter case") << "tervan halden beta" << false;
    QTest::newRow("moved to Downloads") << "Downloads" << false;
    QTest::newRow("trailing blank") << "Tervan Halden Beta " << false;
}

void DiscoveryTest::installFolderNameRules()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    StagedInstall install(name);
    const std::optional<QString> found = installDir();
    QCOMPARE(found.has_value(), valid);
    if (valid)
        QCOMPARE(*found, install.installDir());
}

void DiscoveryTest::agentBinaryMustBeThereAndExecutable()
{
    StagedInstall install;
    const QString dist = install.installDir() + QStringLiteral("/dist/");
    QVERIFY(!agentBinary(install.installDir()));

    // Only the other architecture's agent: never looked for.
    const QString other = AgentContract::executableName.endsWith(QStringLiteral("x86_64")) ? "tervan-agent-arm64"
                                                                                            : "tervan-agent-x86_64";
    writeExecutable(dist + other, "#!/bin/sh\n");
    QVERIFY(!agentBinary(install.installDir()));

    // Present but not executable.
    writeFile(install.agentPath(), "#!/bin/sh\n");
    QFile::setPermissions(install.agentPath(), QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(!agentBinary(install.installDir())); // no execute bit at all: not even root may run it

    install.writeAgentScript("exit 0");
    QCOMPARE(agentBinary(install.installDir()), std::optional<QString>(install.agentPath()));

    // A directory of that name is no executable.
    QFile::remove(install.agentPath());
    QDir().mkpath(install.agentPath());
    QVERIFY(!agentBinary(install.installDir()));
}

void DiscoveryTest::registrationShapes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("found");
    const QString project = QStringLiteral("@PROJECT@");
    QTest::newRow("agent path, other switch, folder") << QStringList{"/opt/agent", "--verbose", "--allow-root", project} << true;
    QTest::newRow("switch last") << QStringList{"/opt/agent", "--allow-root"} << false;
    QTest::newRow("joined with equals") << QStringList{"/opt/agent", "--allow-root=" + project} << false;
    QTest::newRow("no switch") << QStringList{"/opt/agent", project} << false;
    QTest::newRow("empty array") << QStringList{} << false;
    QTest::newRow("switch in other case") << QStringList{"--Allow-Root", project} << false;
    QTest::newRow("first switch names a deleted folder") << QStringList{"--allow-root", "@GONE@", "--allow-root", project} << false;
    QTest::newRow("trailing separator") << QStringList{"--allow-root", project + "/"} << true;
}

void DiscoveryTest::registrationShapes()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, found);
    TemporaryHome home;
    const QString project = home.filePath("my project");
    QDir().mkpath(project);
    arguments.replaceInStrings("@PROJECT@", project);
    arguments.replaceInStrings("@GONE@", home.filePath("deleted"));
    writeRegistration(home.path(), arguments, PlistFormat::xml);
    const std::optional<QString> folder = existingAuthorizedFolder();
    QCOMPARE(folder.has_value(), found);
    if (found)
        QCOMPARE(*folder, project);
}

void DiscoveryTest::registrationReadInBothFormats()
{
    TemporaryHome home;
    QVERIFY(!existingAuthorizedFolder()); // no property list at all
    const QString project = home.filePath("projekt ünïcode");
    QDir().mkpath(project);
    for (const PlistFormat format : {PlistFormat::xml, PlistFormat::binary}) {
        writeRegistration(home.path(), {"/agent", "--allow-root", project}, format);
        QCOMPARE(existingAuthorizedFolder(), std::optional<QString>(project));
    }
}

void DiscoveryTest::registrationFolderMustExistAsDirectory()
{
    TemporaryHome home;
    const QString file = home.filePath("a-file");
    writeFile(file, "x");
    writeRegistration(home.path(), {"--allow-root", file}, PlistFormat::binary);
    QVERIFY(!existingAuthorizedFolder());

    const QString target = home.filePath("target");
    QDir().mkpath(target);
    const QString link = home.filePath("link");
    QVERIFY(QFile::link(target, link));
    writeRegistration(home.path(), {"--allow-root", link}, PlistFormat::binary);
    QCOMPARE(existingAuthorizedFolder(), std::optional<QString>(link)); // the link's path, not its target
}

namespace {

QByteArray xmlWith(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

} // namespace

void DiscoveryTest::malformedPropertyListsGiveNone()
{
    const QByteArray good = propertyList({"--allow-root", "/tmp"}, PlistFormat::binary);
    QCOMPARE(authorizedFolderInPropertyList(good), std::optional<QString>("/tmp"));

    QList<QByteArray> bad = {
        QByteArray(),
        good.left(good.size() / 2),                              // truncated binary
        propertyList({"--allow-root", "/tmp"}, PlistFormat::xml).left(60), // truncated XML
        QByteArray(4096, '\xA7'),                                // garbage
        "bplist00" + QByteArray(64, '\xFF'),                     // binary header, offsets out of range
        xmlWith("<array><string>--allow-root</string><string>/tmp</string></array>"), // top level an array
        xmlWith("<dict/>"),
        xmlWith("<dict><key>ProgramArguments</key><string>--allow-root /tmp</string></dict>"),
        xmlWith("<dict><key>ProgramArguments</key><array><string>--allow-root</string><integer>1</integer>"
                "<string>/tmp</string></array></dict>"),
        xmlWith("<dict><key>ProgramArguments</key><array><integer>7</integer><string>--allow-root</string>"
                "<string>/tmp</string></array></dict>"),
    };
    // Deep nesting, both as XML and inside a valid dictionary.
    QByteArray deep = QByteArray("<array>").repeated(20000) + QByteArray("</array>").repeated(20000);
    bad << xmlWith(deep);
    bad << xmlWith("<dict><key>ProgramArguments</key>" + deep + "</dict>");

    // A binary list whose array holds itself: object 0 is an array of one
    // reference, to object 0.
    QByteArray cycle("bplist00");
    cycle += QByteArray::fromHex("a100");                                // object 0: array [ref 0]
    const int offsetTable = cycle.size();
    cycle += QByteArray::fromHex("08");                                  // offset of object 0
    cycle += QByteArray::fromHex("000000000000" "01" "01");              // offset size 1, ref size 1
    cycle += QByteArray::fromHex("0000000000000001");                    // one object
    cycle += QByteArray::fromHex("0000000000000000");                    // top object 0
    cycle += QByteArray::fromHex("00000000000000") + char(offsetTable);  // offset table start
    bad << cycle;

    // A UTF-16 string holding a NUL character, which a binary list can carry:
    // the property-list library aborts the program when asked for it the usual way.
    QByteArray withNul = propertyList({"--allow-root", "/tmp/ü"}, PlistFormat::binary);
    QVERIFY(withNul.contains(QByteArray("\x00/\x00t\x00m\x00p\x00/\x00\xFC", 12)));
    withNul.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2));
    bad << withNul;

    for (const QByteArray& contents : bad)
        QVERIFY2(!authorizedFolderInPropertyList(contents), contents.left(40).toHex().constData());

    // Through the file: one over the size limit is not read at all.
    TemporaryHome home;
    const QString path = home.filePath(AgentContract::launchAgentPropertyListPath);
    QByteArray huge = propertyList({"--allow-root", home.path()}, PlistFormat::xml);
    huge.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>");
    writeFile(path, huge);
    QVERIFY(!existingAuthorizedFolder());
    // A folder where the file should be.
    QFile::remove(path);
    QDir().mkpath(path);
    QVERIFY(!existingAuthorizedFolder());
}

void DiscoveryTest::nothingIsCached()
{
    TemporaryHome home;
    const QString project = home.filePath("p");
    QDir().mkpath(project);
    writeRegistration(home.path(), {"--allow-root", project}, PlistFormat::xml);
    QVERIFY(existingAuthorizedFolder());
    QVERIFY(QDir(project).removeRecursively());
    QVERIFY(!existingAuthorizedFolder());

    StagedInstall install;
    install.writeAgentScript("exit 0");
    QVERIFY(agentBinary(install.installDir()));
    QFile::remove(install.agentPath());
    QVERIFY(!agentBinary(install.installDir()));
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "test_discovery.moc"
