// The agent's output lines as the log shows them.
#include "halden_test.h"

class ProtocolTest : public HaldenTest {
    Q_OBJECT

private slots:
    // Each line as the agent prints it, with its line feed.
    void lines()
    {
        QList<std::pair<QString, QString>> rows { { R"({"step":"folder","status":"ok","message":"Authorized."})",
                                                      "failed --- | ✓ folder: Authorized./" },
            { R"({"step":"s","status":"OK","message":"No"})", "failed --- | ✗ s: No/" },
            { R"({"step":"a","status":"ok","message":42})", "failed --- | ✓ a: /" },
            { R"({"step":"a","status":"ok","message":"one\ntwo"})", "failed --- | ✓ a: one/two/" },
            { " {\"step\":\"a\",\"status\":\"ok\",\"message\":\"\\u00e9\"}\r", "failed --- | ✓ a: é/" },
            { R"([{"step":"a","status":"ok"}])", "failed --- | " }, { R"({"step":1,"status":"ok"})", "failed --- | " },
            { R"({"step":"done"})", "failed --- | " }, { R"({"step":"done","status":"ok"} x)", "failed --- | " },
            { R"({"step":"a","status":"ok","n":2.})", "failed --- | " }, // accepted by a lenient parser
            { R"({"step":"register","status":"warn"})", "failed --- | ! register: /" },
            { R"({"step":"Done","status":"ok","extensionInstalled":true})", "failed --- | ✓ Done: /" },
            { R"({"step":"done","status":"warn","extensionInstalled":true})", "failed --- | ! done: /" },
            { R"({"step":"done","status":"ok","extensionInstalled":"true"})", "ok S-- | ✓ done: /" },
            { R"({"step":"done","status":"ok","extensionInstalled":true})", "ok SE- | ✓ done: /" },
            { R"({"step":"done","status":"ok","extensionInstalled":true})"
              "\n" + doneEvent,
                "ok S-- | ✓ done: /✓ done: /" } }; // a later "done" decides again
        // Messages are cut at 400 user-perceived characters: of letters that all differ, of a family of seven code
        // points, of flags of two, of letters with a combining accent.
        const QString family = QStringLiteral("👨‍👩‍👧‍👦"), flag = QStringLiteral("🇳🇴"),
                      accented = QStringLiteral("e\u0301");
        QString letters;
        for (int i = 0; i < 1000; ++i)
            letters += QChar(0x4E00 + i);
        for (const auto& [message, shown] : { std::pair { letters, letters.left(400) },
                 { letters.left(400), letters.left(400) }, { family.repeated(500), family.repeated(400) },
                 { flag.repeated(401), flag.repeated(400) }, { accented.repeated(450), accented.repeated(400) },
                 { letters.left(399) + family + "x", letters.left(399) + family } })
            rows << std::pair { "{\"step\":\"s\",\"status\":\"ok\",\"message\":\"" + message + "\"}",
                "failed --- | ✓ s: " + shown + "/" };
        for (const auto& [line, outcome] : rows)
            QCOMPARE(runOf("cat <<'EOF'\n" + line + "\nEOF"), outcome);
    }
};

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
