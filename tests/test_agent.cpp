// The agent: real child processes, their environment, exit rules and error output, and its lines as the log shows them.
#include "halden_test.h"

#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "platform/user_account.h"

class AgentTest : public HaldenTest {
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("script"); // of the agent
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("outcome"); // "~" is the home
        const QStringList setup { "--setup" }, uninstall { "--uninstall" };
        const QStringList odd { "--setup", "--allow-root", "/tmp/my project/ünï", "-x", "", "$HOME *" };
        QString tail; // of 1,000 characters, those from 401 to 800, each told apart
        for (int i = 100; i < 200; ++i)
            tail += QString::asprintf("%03d|", i);
        // Its input at its end at once, only the environment it is given, the program's working folder, its arguments
        // as they were given.
        QTest::newRow("started as the contract says")
            << "cat; printf '{\"step\":\"%s\",\"status\":\"ok\",\"message\":\"%s\"}\\n' \"$(pwd)\" \"$(tr '\\0' ' ' < "
               "/proc/$$/environ)$(printf '<%s>' \"$@\")\""
            << odd
            << "failed --- | ✓ " + QDir::currentPath() + ": HOME=~ LANG=en_US.UTF-8 PATH=/usr/bin:/bin USER="
                + platform::loginName() + " <" + odd.join("><") + ">/";
        QTest::newRow("lines and a character split over reads, no line feed at the end")
            << "printf '{\"step\":\"a\",\"status\":\"ok\"}\\n{\"step\":\"b\",\"status\":\"warn\"}\\n{\"step\":\"c\","
               "\"status\":\"ok\",\"message\":\"\\342\\234'; sleep 0.1; printf '\\223\"}\\n"
                + doneEvent + "'"
            << setup << "ok S-- | ✓ a: /! b: /✓ c: ✓/✓ done: /";
        QTest::newRow("done, then exit 1") << doneOk + "; exit 1" << setup << "failed S-- | ✓ done: /";
        QTest::newRow("killed") << doneOk + "; echo bye >&2; kill -9 $$" << setup
                                << "failed S-- | ✓ done: /error: bye//";
        QTest::newRow("uninstall, error output after exit 0") << "echo noise >&2" << uninstall << "ok --- | ";
        QTest::newRow("missing") << "missing" << setup << "failed --- | error: could not start the agent binary/";
        QTest::newRow("1,000 characters of error output")
            << "seq -f %03g\\| 0 249 | tr -d '\\n' >&2; exit 1" << setup << "failed --- | error: " + tail + "/";
        QTest::newRow("700 accented letters") << "printf '%.0se\\314\\201' $(seq 700) >&2; exit 1" << setup
                                              << "failed --- | error: " + QStringLiteral("e\u0301").repeated(400) + "/";
        // The agent's lines as the log shows them, with a line feed after each.
        const auto printing = [](const QString& output) { return "cat <<'EOF'\n" + output + "\nEOF"; };
        QTest::newRow("events as shown") // a status other than ok, a message not text, blanks, escapes
            << printing("{\"step\":\"folder\",\"status\":\"ok\",\"message\":\"Authorized.\"}\n"
                        "{\"step\":\"s\",\"status\":\"OK\",\"message\":\"No\"}\n"
                        "{\"step\":\"a\",\"status\":\"ok\",\"message\":42}\n"
                        " {\"step\":\"a\",\"status\":\"ok\",\"message\":\"one\\n\\u00e9\"}\r")
            << setup << "failed --- | ✓ folder: Authorized./✗ s: No/✓ a: /✓ a: one/é/";
        // Text, an array, a step not text, no status, a number only a lenient parser takes.
        QTest::newRow("no events") << printing(
            "Hi\n[{\"step\":\"a\",\"status\":\"ok\"}]\n{\"step\":1,\"status\":\"ok\"}"
            "\n{\"step\":\"b\"}\n{\"step\":\"d\",\"status\":\"ok\",\"n\":2.}")
                                   << setup << "failed --- | ";
        QTest::newRow("members inside others, or repeated") // as an object keeps them: the last one
            << printing(R"({"step":"a","status":"ok","x":{"step":"b","status":"warn"},"step":"done","message":"m",)"
                        R"("message":[{"message":"d"}],"extensionInstalled":true,"extensionInstalled":null})")
            << setup << "ok S-- | ✓ done: /";
        QTest::newRow("neither done nor registered")
            << printing("{\"step\":\"register\",\"status\":\"warn\"}\n{\"step\":\"Done\",\"status\":\"ok\"}\n"
                        "{\"step\":\"done\",\"status\":\"warn\",\"extensionInstalled\":true}")
            << setup << "failed --- | ! register: /✓ Done: /! done: /";
        QTest::newRow("extension, carriage return")
            << printing("{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}\r") << setup
            << "ok SE- | ✓ done: /";
        QTest::newRow("a later done decides again, extension as text")
            << printing("{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}\n"
                        "{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":\"true\"}")
            << setup << "ok S-- | ✓ done: /✓ done: /";
        // Messages are cut at 400 user-perceived characters: of letters with a combining accent, and of letters
        // that all differ before a family of seven code points.
        const QString family = QStringLiteral("👨‍👩‍👧‍👦"), accented = QStringLiteral("e\u0301");
        QString letters;
        for (int i = 0; i < 399; ++i)
            letters += QChar(0x4E00 + i);
        QTest::newRow("messages cut") << printing("{\"step\":\"s\",\"status\":\"ok\",\"message\":\""
            + accented.repeated(450) + "\"}\n{\"step\":\"t\",\"status\":\"ok\",\"message\":\"" + letters + family
            + "x\"}") << setup << "failed --- | ✓ s: " + accented.repeated(400) + "/✓ t: " + letters + family + "/";
    }
    // Runs the script as the agent ("missing": none at all) on a fresh controller. Gives each completion ("busy" if
    // the run had not left the busy state by then), the flags childSucceeded, extensionInstalled and repairAvailable
    // afterwards ("kept" if the run's process was not dropped), then the log.
    void runs()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, arguments);
        QFETCH(QString, outcome);
        qputenv("HALDEN_SECRET", "must not leak");
        script == "missing" ? void(QFile::remove(agentPath)) : writeAgent(script);
        QStringList completions;
        start().run(agentPath, arguments, [&completions, this](bool ok) {
            completions << (ok ? "ok" : "failed") + QString(c->child || !c->window->isCloseEnabled() ? " busy" : "");
        });
        waitForRunEnd(*c);
        QTest::qWait(20); // whatever would come after the end shows up now
        const QString flags = QString(c->childSucceeded ? "S" : "-") + (c->extensionInstalled ? "E" : "-")
            + (c->repairAvailable ? "R" : "-") + (c->findChildren<QProcess*>().isEmpty() ? "" : " kept");
        QCOMPARE(completions.join(" and ") + " " + flags + " | " + c->log->toPlainText().replace('\n', '/'),
            outcome.replace("~", home->path()));
    }

    // What is read from each of the agent's outputs, in chunks of any size: the standard output becomes lines of at
    // most the limit, each whole and valid UTF-8, then what is left at the end ("-": nothing); the error output is
    // decoded for its tail, of at most the cap.
    void decoding_data()
    {
        QTest::addColumn<bool>("errorOutput");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QStringList>("made");
        const QByteArray limit(LineAssembler::maxLineBytes, 'x');
        QTest::newRow("lines over the limit") // ended in a later chunk, within one, not ended yet, never ended
            << false << QByteArrayList { limit, "y\nnext\n", limit + "z\n", limit, "w", "\nlast\n", limit + "v" }
            << QStringList { "next", "last", "-" };
        QTest::newRow("lines at the limit, a split character, no UTF-8") // a stray byte, a surrogate, an overlong form
            << false << QByteArrayList { limit, "\n\xE2\x9C", "\x93\n\xFF\n\xED\xA0\x80\n\xE0\x9F\xBF\n\xFF" }
            << QStringList { QString(limit), "✓", "-" };
        QTest::newRow("error output, characters split over reads")
            << true << QByteArrayList { "caf\xC3", "\xA9 \xF0\x9F", "\x98\x80 \xFF!" }
            << QStringList(QStringLiteral("café 😀 \uFFFD!"));
        const qsizetype cap = ErrorOutput::maxKeptUnits;
        QTest::newRow("error output over the cap, a character across it left out whole")
            << true << QByteArrayList { "\xF0\x9F\x98\x80" + QByteArray(cap - 1, 'a') }
            << QStringList(QString(cap - 1, 'a'));
    }
    void decoding()
    {
        QFETCH(bool, errorOutput);
        QFETCH(QByteArrayList, chunks);
        LineAssembler assembler;
        ErrorOutput errors;
        QStringList made;
        for (const QByteArray& chunk : chunks) {
            if (errorOutput)
                errors.feed(chunk);
            else
                for (const QByteArrayView line : assembler.feed(chunk))
                    made << QString::fromUtf8(line);
        }
        QTEST(made << (errorOutput ? errors.finish() : QString::fromUtf8(assembler.finish().value_or("-"))), "made");
    }
};

QTEST_MAIN(AgentTest)
#include "test_agent.moc"
