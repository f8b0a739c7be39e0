// The agent's output lines as the log shows them.
#include "halden_test.h"

class ProtocolTest : public HaldenTest {
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("output"); // of the agent, with a line feed after each line
        QTest::addColumn<QString>("outcome");
        QTest::newRow("events as shown") // a status other than ok, a message not text, blanks, escapes
            << "{\"step\":\"folder\",\"status\":\"ok\",\"message\":\"Authorized.\"}\n"
               "{\"step\":\"s\",\"status\":\"OK\",\"message\":\"No\"}\n{\"step\":\"a\",\"status\":\"ok\",\"message\":"
               "42}\n"
               " {\"step\":\"a\",\"status\":\"ok\",\"message\":\"one\\n\\u00e9\"}\r"
            << "failed --- | ✓ folder: Authorized./✗ s: No/✓ a: /✓ a: one/é/";
        // Text, an array, a step not text, no status, a number only a lenient parser takes.
        QTest::newRow("no events")
            << "Hi\n[{\"step\":\"a\",\"status\":\"ok\"}]\n{\"step\":1,\"status\":\"ok\"}\n{\"step\":\"b\"}\n"
               "{\"step\":\"d\",\"status\":\"ok\",\"n\":2.}"
            << "failed --- | ";
        QTest::newRow("members inside others, or repeated") // as an object keeps them: the last one
            << R"({"step":"a","status":"ok","x":{"step":"b","status":"warn"},"step":"done","message":"m",)"
               R"("message":[{"message":"d"}],"extensionInstalled":true,"extensionInstalled":null})"
            << "ok S-- | ✓ done: /";
        QTest::newRow("neither done nor registered")
            << "{\"step\":\"register\",\"status\":\"warn\"}\n{\"step\":\"Done\",\"status\":\"ok\"}\n"
               "{\"step\":\"done\",\"status\":\"warn\",\"extensionInstalled\":true}"
            << "failed --- | ! register: /✓ Done: /! done: /";
        QTest::newRow("extension, carriage return")
            << "{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}\r"
            << "ok SE- | ✓ done: /";
        QTest::newRow("a later done decides again, extension as text")
            << "{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}\n"
               "{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":\"true\"}"
            << "ok S-- | ✓ done: /✓ done: /";
        // Messages are cut at 400 user-perceived characters: of a family of seven code points, of flags of two,
        // of letters with a combining accent, of letters that all differ.
        const QString family = QStringLiteral("👨‍👩‍👧‍👦"), flag = QStringLiteral("🇳🇴"),
                      accented = QStringLiteral("e\u0301");
        QString letters;
        for (int i = 0; i < 399; ++i)
            letters += QChar(0x4E00 + i);
        for (const auto& [name, message, shown] : {
                 std::tuple { "500 families", family.repeated(500), family.repeated(400) },
                 { "401 flags", flag.repeated(401), flag.repeated(400) },
                 { "450 accented letters", accented.repeated(450), accented.repeated(400) },
                 { "399 letters, a family, a letter", letters + family + "x", letters + family },
             })
            QTest::newRow(name) << "{\"step\":\"s\",\"status\":\"ok\",\"message\":\"" + message + "\"}"
                                << "failed --- | ✓ s: " + shown + "/";
    }
    void lines()
    {
        QFETCH(QString, output);
        QFETCH(QString, outcome);
        QCOMPARE(runOf("cat <<'EOF'\n" + output + "\nEOF"), outcome);
    }
};

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
