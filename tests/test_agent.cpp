// The agent process runner and the output line protocol.
#include "halden_test.h"

#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "platform/user_account.h"

namespace {

const QString done = QStringLiteral(R"({"step":"done","status":"ok"})");

} // namespace

// Runs a shell script as the agent ("missing": none at all) on a fresh controller:
// success, the flags childSucceeded, extensionInstalled and repairAvailable
// ("busy" if the run did not leave the busy state, "kept" if its process was
// not dropped), then the log.
QString HaldenTest::runOf(const QString& body, const QStringList& args)
{
    const QString agent = home->filePath("agent");
    QFile::remove(agent);
    if (body != "missing")
        writeExecutable(agent, "#!/bin/sh\n" + body.toUtf8() + "\n");
    QStringList completions;
    start().run(agent, args, [&completions](bool ok) { completions << (ok ? "ok" : "failed"); });
    waitForRunEnd(*c);
    QTest::qWait(20); // whatever would come after the end shows up now
    const QString flags = QString(c->childSucceeded ? "S" : "-") + (c->extensionInstalled ? "E" : "-")
        + (c->repairAvailable ? "R" : "-") + (c->window->isCloseEnabled() ? "" : " busy")
        + (c->findChildren<QProcess*>().isEmpty() ? "" : " kept"); // the run's process dropped
    return completions.join(" and ") + " " + flags + " | " + c->log->toPlainText().replace('\n', '/');
}

void HaldenTest::runs()
{
    const QStringList setup { "--setup" }, uninstall { "--uninstall" };
    QString head, tail; // of 500 clusters the first 400, of 1,000 the clusters 401 to 800; each told apart
    for (int i = 0; i < 200; ++i)
        (i < 100 ? head : tail) += QString::asprintf("%03d|", i);
    const QStringList odd { "--setup", "--allow-root", "/tmp/my project/ünï", "-x", "", "$HOME *" };
    const QString report = R"(; printf '{"step":"%s","status":"ok","message":"%s"}\n')";
    const QList<std::tuple<QString, QStringList, QString>> rows { // the agent's script, its arguments, the outcome
        { "cat" + report + " env \"$(tr '\\0' '\\n' < /proc/$$/environ | sort | tr '\\n' ' ')\"",
            setup, // stdin at its end, nothing inherited
            "failed --- | ✓ env: HOME=" + home->path()
                + " LANG=en_US.UTF-8 PATH=/usr/bin:/bin USER=" + platform::loginName() + " /" },
        { "true" + report + " \"$(pwd)\" \"$(printf '<%s>' \"$@\")\"", odd,
            "failed --- | ✓ " + QDir::currentPath() + ": " + "<" + odd.join("><") + ">/" },
        { R"(printf '{"step":"a","status":"ok"}\n{"step":"b","status":"warn"}\n{"step":"c","status":"ok","message":"\342\234'; sleep 0.1; printf '\223"}\n')",
            setup, "failed --- | ✓ a: /! b: /✓ c: ✓/" },
        { "printf '" + done + "'", setup, "ok S-- | ✓ done: /" }, // no line feed at the end
        { R"(printf 'Hi\r\n{"step":"\377","status":"ok"}\r\n)" + done + R"(\r\n')", setup,
            "ok S-- | ✓ done: /" }, // plain text, invalid UTF-8
        { "echo '{\"step\":\"register\",\"status\":\"ok\"}'", setup, "failed --R | ✓ register: /" },
        { R"(printf '{"step":"\302\242\364\217\277\277","status":"ok"}\n{"step":"\301\277\364\220\200\200","status":"ok"}\n{"step":"\342\234A","status":"ok"}\n')",
            setup, // UTF-8's edges
            "failed --- | ✓ ¢\U0010FFFF: /" },
        { "echo '" + done + "'; exit 1", setup, "failed S-- | ✓ done: /" },
        { "echo '" + done + "'; echo bye >&2; kill -9 $$", setup, "failed S-- | ✓ done: /error: bye//" },
        { "echo noise >&2", uninstall, "ok --- | " }, { "exit 3", uninstall, "failed --- | " },
        { "exit 0", { "--repair", "--uninstall" }, "failed --- | " }, { "exit 0", {}, "failed --- | " },
        { "missing", setup, "failed --- | error: could not start the agent binary/" },
        { R"(i=0; while [ $i -lt 250 ]; do printf '%03d|' $i >&2; i=$((i+1)); done; exit 1)", setup,
            "failed --- | error: " + tail + "/" },
        { R"(i=0; while [ $i -lt 700 ]; do printf 'e\314\201' >&2; i=$((i+1)); done; exit 1)", setup,
            "failed --- | error: " + QStringLiteral("e\u0301").repeated(400) + "/" },
        { R"(i=0; while [ $i -lt 125 ]; do printf '%03d|' $i >&2; i=$((i+1)); done; exit 1)", setup,
            "failed --- | error: " + head + "/" }
    };
    qputenv("HALDEN_SECRET", "must not leak");
    for (const auto& [body, args, outcome] : rows)
        QCOMPARE(runOf(body, args), outcome);
    qunsetenv("HALDEN_SECRET");
    ErrorOutput errors; // the error output keeps a character split over reads whole
    for (const QByteArray& chunk :
        { QByteArray("caf\xC3"), QByteArray("\xA9 \xF0\x9F"), QByteArray("\x98\x80 \xFF! \xE2\x9C") })
        errors.feed(chunk);
    QCOMPARE(errors.finish(), QStringLiteral("café 😀 \uFFFD! \uFFFD"));
    // Output read in chunks of any size becomes lines; a carriage return stays.
    const QByteArray limit(LineAssembler::maxLineBytes, 'x');
    const QList<std::pair<QByteArrayList, QStringList>> chunked {
        // chunks; the lines they make, then what finish() gives
        { { "a\r\nb\r\n\nc" }, { "a\r", "b\r", "", "c" } }, // a carriage return stays
        { { limit, "y", "\nnext\n", limit + "z" }, { "next", "-" } },
        { { limit, "\n\xE2\x9C", "\x93\n\xFF\n" }, { QString(limit), "✓", "-" } }
    }; // at the limit; split and invalid characters
    for (const auto& [chunks, lines] : chunked) {
        LineAssembler assembler;
        QStringList made;
        for (const QByteArray& chunk : chunks)
            made << assembler.feed(chunk);
        QCOMPARE(made << assembler.finish().value_or("-"), lines);
    }
}

// Each line as the agent prints it, with its line feed.
void HaldenTest::lines()
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
          "\n" + done,
            "ok S-- | ✓ done: /✓ done: /" } }; // a later "done" decides again
    // Messages are cut at 400 user-perceived characters: of letters that all differ, of a family of seven code points,
    // of flags of two, of letters with a combining accent.
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

void HaldenTest::oneRunAtATimeCompletingOnceAndLast()
{
    start().folder = home->path();
    writeExecutable(home->filePath("agent"),
        "#!/bin/sh\nsleep 0.3; printf '{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}'\n");
    QList<int> completions;
    for (const int run : { 1, 2 }) // the second call, while the first runs, does nothing
        c->run(home->filePath("agent"), { "--setup" }, [&, run](bool ok) {
            completions << run;
            QVERIFY(ok && !c->child && c->setupButton->isEnabled()
                && c->window->isCloseEnabled()); // the busy state left first
            QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ done: \n"));
        });
    QVERIFY(c->child && !c->setupButton->isEnabled() && !c->window->isCloseEnabled()); // busy while it runs
    QVERIFY(waitForRunEnd(*c));
    QTest::qWait(50);
    QCOMPARE(completions, QList<int> { 1 });
    writeExecutable(
        home->filePath("agent"), "#!/bin/sh\n"); // the next run starts from clean flags: no "done", no success
    c->run(home->filePath("agent"), { "--setup" }, [&](bool ok) { completions << ok; });
    QVERIFY(waitForRunEnd(*c) && completions.last() == 0 && !c->childSucceeded && !c->extensionInstalled);
}
