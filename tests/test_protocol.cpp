// The agent's output lines as the log shows them.
#include "halden_test.h"

class ProtocolTest : public HaldenTest {
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("output"); // of the agent, with a line feed after each line
        QTest::addColumn<QString>("outcome");
        QTest::newRow("event") << R"({"step":"folder","status":"ok","message":"Authorized."})"
                               << "failed --- | ✓ folder: Authorized./";
        QTest::newRow("other status") << R"({"step":"s","status":"OK","message":"No"})"
                                      << "failed --- | ✗ s: No/";
        QTest::newRow("message not text") << R"({"step":"a","status":"ok","message":42})"
                                          << "failed --- | ✓ a: /";
        QTest::newRow("line feed in the message") << R"({"step":"a","status":"ok","message":"one\ntwo"})"
                                                  << "failed --- | ✓ a: one/two/";
        QTest::newRow("blank, escape, carriage return")
            << " {\"step\":\"a\",\"status\":\"ok\",\"message\":\"\\u00e9\"}\r"
            << "failed --- | ✓ a: é/";
        // Text, an array, a step not text, no status, text after the object, a number only a lenient parser
        // takes, a control character not escaped, no colon.
        QTest::newRow("no events")
            << "Hi\n[{\"step\":\"a\",\"status\":\"ok\"}]\n{\"step\":1,\"status\":\"ok\"}\n{\"step\":\"b\"}\n"
               "{\"step\":\"c\",\"status\":\"ok\"} x\n{\"step\":\"d\",\"status\":\"ok\",\"n\":2.}\n"
               "{\"step\":\"\x01\",\"status\":\"ok\"}\n{\"step\"\"done\",\"status\"\"ok\"}"
            << "failed --- | ";
        QTest::newRow("members inside others, or repeated") // as an object keeps them: the last one
            << R"({"step":"a","status":"ok","x":{"step":"b","status":"warn"},"step":"done","message":"m",)"
               R"("message":[{"message":"d"}],"extensionInstalled":true,"extensionInstalled":null})"
            << "ok S-- | ✓ done: /";
        QTest::newRow("register, warn") << R"({"step":"register","status":"warn"})"
                                        << "failed --- | ! register: /";
        QTest::newRow("Done") << R"({"step":"Done","status":"ok","extensionInstalled":true})"
                              << "failed --- | ✓ Done: /";
        QTest::newRow("done, warn") << R"({"step":"done","status":"warn","extensionInstalled":true})"
                                    << "failed --- | ! done: /";
        QTest::newRow("extension as text") << R"({"step":"done","status":"ok","extensionInstalled":"true"})"
                                           << "ok S-- | ✓ done: /";
        QTest::newRow("extension, carriage return")
            << "{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}\r"
            << "ok SE- | ✓ done: /";
        QTest::newRow("a later done decides again") << R"({"step":"done","status":"ok","extensionInstalled":true})"
                                                       "\n"
                + doneEvent << "ok S-- | ✓ done: /✓ done: /";
        // Messages are cut at 400 user-perceived characters: of letters that all differ, of a family of seven code
        // points, of flags of two, of letters with a combining accent.
        const QString family = QStringLiteral("👨‍👩‍👧‍👦"), flag = QStringLiteral("🇳🇴"),
                      accented = QStringLiteral("e\u0301");
        QString letters;
        for (int i = 0; i < 1000; ++i)
            letters += QChar(0x4E00 + i);
        for (const auto& [name, message, shown] : {
                 std::tuple { "1,000 letters", letters, letters.left(400) },
                 { "400 letters", letters.left(400), letters.left(400) },
                 { "500 families", family.repeated(500), family.repeated(400) },
                 { "401 flags", flag.repeated(401), flag.repeated(400) },
                 { "450 accented letters", accented.repeated(450), accented.repeated(400) },
                 { "399 letters, a family, a letter", letters.left(399) + family + "x", letters.left(399) + family },
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
