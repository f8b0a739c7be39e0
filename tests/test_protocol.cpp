#include "agent/error_output.h"
#include "support/fixture.h"

#include <QPlainTextEdit>
#include <QTest>

namespace {

const QString family = QStringLiteral("👨‍👩‍👧‍👦"); // one cluster of seven code points
const QString flag = QStringLiteral("🇳🇴");            // one cluster of two regional indicators
const QString accented = QStringLiteral("e\u0301");   // one cluster: e and a combining accent

// Clusters that all differ, so a cut in the wrong place shows.
QString letters(int count, int from = 0)
{
    QString text;
    for (int i = from; i < from + count; ++i)
        text += QChar(0x4E00 + i);
    return text;
}

} // namespace

class ProtocolTest : public FixtureTest {
    Q_OBJECT

private slots:
    void init();
    void lines_data();
    void lines();
    void messagesAreCutAt400Clusters_data();
    void messagesAreCutAt400Clusters();
    void doneAndRegisterSetTheFlags();
    void errorTailIsTheFirst400OfTheLast600Clusters();
};

void ProtocolTest::init()
{
    FixtureTest::init();
    start();
}

void ProtocolTest::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("logged"); // "" when the line is no event
    QTest::newRow("ok") << R"({"step":"folder","status":"ok","message":"Authorized."})" << "✓ folder: Authorized.\n";
    QTest::newRow("warn") << R"({"step":"extension","status":"warn","message":"Not found"})" << "! extension: Not found\n";
    QTest::newRow("failed") << R"({"step":"start","status":"failed","message":"No"})" << "✗ start: No\n";
    QTest::newRow("status in other case") << R"({"step":"s","status":"OK"})" << "✗ s: \n";
    QTest::newRow("message not a string") << R"({"step":"a","status":"ok","message":42})" << "✓ a: \n";
    QTest::newRow("message of two lines") << R"({"step":"a","status":"ok","message":"one\ntwo"})" << "✓ a: one\ntwo\n";
    QTest::newRow("carriage return, blanks") << " {\"step\":\"a\",\"status\":\"ok\",\"message\":\"\\u00e9\"}\r" << "✓ a: é\n";
    QTest::newRow("plain text") << "Registering the agent…" << "";
    QTest::newRow("array") << R"([{"step":"a","status":"ok"}])" << "";
    QTest::newRow("step a number") << R"({"step":1,"status":"ok"})" << "";
    QTest::newRow("status missing") << R"({"step":"done"})" << "";
    QTest::newRow("trailing text") << R"({"step":"done","status":"ok"} x)" << "";
    QTest::newRow("lenient number") << R"({"step":"a","status":"ok","n":2.})" << "";
    QTest::newRow("lone surrogate") << R"({"step":"a","status":"ok","message":"\ud800"})" << "";
}

void ProtocolTest::lines()
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
    QTest::newRow("1,000 letters") << letters(1000) << letters(400);
    QTest::newRow("exactly 400") << letters(400) << letters(400);
    QTest::newRow("families") << family.repeated(500) << family.repeated(400);
    QTest::newRow("flags") << flag.repeated(401) << flag.repeated(400);
    QTest::newRow("combining accents") << accented.repeated(450) << accented.repeated(400);
    QTest::newRow("a family at 400") << letters(399) + family + "tail" << letters(399) + family;
}

void ProtocolTest::messagesAreCutAt400Clusters()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    c->consume(R"({"step":"s","status":"ok","message":")" + message + "\"}");
    QCOMPARE(c->log->toPlainText(), "✓ s: " + shown + "\n");
}

void ProtocolTest::doneAndRegisterSetTheFlags()
{
    const QList<std::pair<QString, QString>> steps{// event; then childSucceeded, extensionInstalled, repairAvailable
        {R"({"step":"register","status":"warn"})", "---"},
        {R"({"step":"register","status":"ok"})", "--R"},
        {R"({"step":"done","status":"warn","extensionInstalled":true})", "--R"},
        {R"({"step":"Done","status":"ok","extensionInstalled":true})", "--R"},
        {R"({"step":"done","status":"ok","extensionInstalled":true})", "SER"},
        {R"({"step":"done","status":"ok"})", "S-R"}, // a later "done" decides the extension again
        {R"({"step":"done","status":"ok","extensionInstalled":true})", "SER"},
        {R"({"step":"done","status":"ok","extensionInstalled":"true"})", "S-R"}};
    for (const auto& [event, flags] : steps) {
        c->consume(event);
        const QString seen = QString(c->childSucceeded ? "S" : "-") + (c->extensionInstalled ? "E" : "-") + (c->repairAvailable ? "R" : "-");
        QCOMPARE(seen, flags);
    }
}

void ProtocolTest::errorTailIsTheFirst400OfTheLast600Clusters()
{
    QCOMPARE(errorTail(letters(1000)), letters(400, 400));
    QCOMPARE(errorTail(letters(500)), letters(400)); // shorter than 600: its end beyond the 400th is lost
    QCOMPARE(errorTail(letters(400)), letters(400));
    QCOMPARE(errorTail(letters(300) + family.repeated(700)), family.repeated(400));
}

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
