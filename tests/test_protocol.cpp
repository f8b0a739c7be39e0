#include "agent/error_output.h"
#include "agent/grapheme_clusters.h"
#include "setup/setup_controller.h"
#include "support/installation_fixture.h"

#include <QPlainTextEdit>
#include <QTest>

namespace {

const QString family = QStringLiteral("👨‍👩‍👧‍👦"); // one cluster of seven code points
const QString flag = QStringLiteral("🇳🇴");            // one cluster of two regional indicators
const QString accented = QStringLiteral("e\u0301");   // one cluster: e and a combining acute accent

QString numbered(int count)
{
    // Distinct clusters, so a cut in the wrong place shows.
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'a' + i % 26);
    return text;
}

QString jsonString(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\"")).replace(u'\n', QStringLiteral("\\n"));
    return u'"' + escaped + u'"';
}

} // namespace

class ProtocolTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void eventsBecomeMarkedLogLines_data();
    void eventsBecomeMarkedLogLines();
    void messagesAreCutAt400Clusters_data();
    void messagesAreCutAt400Clusters();
    void doneAndRegisterSetTheFlags();
    void nonEventsAreIgnored_data();
    void nonEventsAreIgnored();
    void errorTailCountsClusters();
};

void ProtocolTest::init()
{
    makeInstallation();
    startController();
}

void ProtocolTest::cleanup()
{
    removeInstallation();
}

void ProtocolTest::eventsBecomeMarkedLogLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("logged");
    QTest::newRow("ok") << R"({"step":"folder","status":"ok","message":"Authorized."})" << "✓ folder: Authorized.\n";
    QTest::newRow("warn") << R"({"step":"extension","status":"warn","message":"Not found"})" << "! extension: Not found\n";
    QTest::newRow("failure") << R"({"step":"start","status":"failed","message":"No"})" << "✗ start: No\n";
    QTest::newRow("empty status") << R"({"step":"start","status":"","message":"?"})" << "✗ start: ?\n";
    QTest::newRow("status in other case") << R"({"step":"s","status":"OK"})" << "✗ s: \n";
    QTest::newRow("no message") << R"({"step":"folder","status":"ok"})" << "✓ folder: \n";
    QTest::newRow("message not a string") << R"({"step":"folder","status":"ok","message":42})" << "✓ folder: \n";
    QTest::newRow("message with line feed") << R"({"step":"a","status":"ok","message":"one\ntwo"})" << "✓ a: one\ntwo\n";
    QTest::newRow("carriage return") << "{\"step\":\"a\",\"status\":\"ok\",\"message\":\"m\"}\r" << "✓ a: m\n";
    QTest::newRow("blanks around") << " \t{\"step\":\"a\",\"status\":\"ok\"} " << "✓ a: \n";
    QTest::newRow("other members") << R"({"step":"a","status":"ok","extra":[1,{"x":null}]})" << "✓ a: \n";
    QTest::newRow("escaped unicode") << R"({"step":"a","status":"ok","message":"\u00e9\ud83d\ude00"})" << "✓ a: é😀\n";
}

void ProtocolTest::eventsBecomeMarkedLogLines()
{
    QFETCH(QString, line);
    QFETCH(QString, logged);
    c->consume(line);
    QCOMPARE(c->log->toPlainText(), logged);
    QVERIFY(!c->childSucceeded && !c->extensionInstalled && !c->repairAvailable);
}

void ProtocolTest::messagesAreCutAt400Clusters_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1000 letters") << numbered(1000) << numbered(400);
    QTest::newRow("exactly 400") << numbered(400) << numbered(400);
    QTest::newRow("family emoji") << family.repeated(500) << family.repeated(400);
    QTest::newRow("flags") << flag.repeated(401) << flag.repeated(400);
    QTest::newRow("combining marks") << accented.repeated(450) << accented.repeated(400);
    QTest::newRow("mixed after 399 letters") << numbered(399) + family + "tail" << numbered(399) + family;
}

void ProtocolTest::messagesAreCutAt400Clusters()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    c->consume(R"({"step":"s","status":"ok","message":)" + jsonString(message) + "}");
    QCOMPARE(c->log->toPlainText(), "✓ s: " + shown + "\n");
}

void ProtocolTest::doneAndRegisterSetTheFlags()
{
    c->consume(R"({"step":"register","status":"warn"})");
    QVERIFY(!c->repairAvailable);
    c->consume(R"({"step":"register","status":"ok"})");
    QVERIFY(c->repairAvailable);

    c->consume(R"({"step":"done","status":"warn","extensionInstalled":true})");
    QVERIFY(!c->childSucceeded && !c->extensionInstalled);
    c->consume(R"({"step":"Done","status":"ok","extensionInstalled":true})");
    QVERIFY(!c->childSucceeded);

    c->consume(R"({"step":"done","status":"ok","extensionInstalled":true})");
    QVERIFY(c->childSucceeded && c->extensionInstalled);
    // A later "done" decides the extension flag again from its own member.
    c->consume(R"({"step":"done","status":"ok"})");
    QVERIFY(c->childSucceeded && !c->extensionInstalled);
    c->consume(R"({"step":"done","status":"ok","extensionInstalled":1})");
    QVERIFY(!c->extensionInstalled);
    c->consume(R"({"step":"done","status":"ok","extensionInstalled":"true"})");
    QVERIFY(!c->extensionInstalled);
    QVERIFY(c->repairAvailable); // never cleared
    QCOMPARE(c->log->toPlainText().count(u'\n'), 8);
}

void ProtocolTest::nonEventsAreIgnored_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("empty") << "";
    QTest::newRow("plain text") << "Registering the agent…";
    QTest::newRow("array") << R"([{"step":"a","status":"ok"}])";
    QTest::newRow("string") << R"("step")";
    QTest::newRow("step a number") << R"({"step":1,"status":"ok"})";
    QTest::newRow("status missing") << R"({"step":"done"})";
    QTest::newRow("status null") << R"({"step":"done","status":null})";
    QTest::newRow("trailing text") << R"({"step":"done","status":"ok"} trailing)";
    QTest::newRow("two objects") << R"({"step":"a","status":"ok"}{"step":"b","status":"ok"})";
    QTest::newRow("number with trailing dot") << R"({"step":"a","status":"ok","n":2.})";
    QTest::newRow("number with leading dot") << R"({"step":"a","status":"ok","n":.2e-3})";
    QTest::newRow("raw tab in string") << "{\"step\":\"a\",\"status\":\"ok\",\"message\":\"a\tb\"}";
    QTest::newRow("invalid escape") << R"({"step":"a","status":"ok","message":"\x41"})";
    QTest::newRow("lone surrogate escape") << R"({"step":"a","status":"ok","message":"\ud800"})";
    QTest::newRow("single quotes") << R"({'step':'a','status':'ok'})";
    QTest::newRow("trailing comma") << R"({"step":"a","status":"ok",})";
    QTest::newRow("comment") << R"({"step":"a","status":"ok"} // done)";
    QTest::newRow("unterminated") << R"({"step":"done","status":"ok")";
}

void ProtocolTest::nonEventsAreIgnored()
{
    QFETCH(QString, line);
    c->consume(line);
    QCOMPARE(c->log->toPlainText(), QString());
    QVERIFY(!c->childSucceeded && !c->extensionInstalled && !c->repairAvailable);
}

void ProtocolTest::errorTailCountsClusters()
{
    // 1,000 clusters: clusters 401 to 800 are shown.
    const QString letters = numbered(1000);
    QCOMPARE(errorTail(letters), letters.mid(400, 400));
    QCOMPARE(errorTail(numbered(400)), numbered(400));
    QCOMPARE(errorTail(numbered(500)), numbered(400)); // loses its end beyond the 400th
    const QString emoji = family.repeated(1000);
    QCOMPARE(errorTail(emoji), family.repeated(400));
    QCOMPARE(clusterCount(accented.repeated(7) + flag), 8);
    QCOMPARE(lastClusters(QStringLiteral("ab") + family, 1), family);
    QCOMPARE(firstClusters(QString(), 3), QString());
}

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
