// The agent process runner: real child processes, their environment, exit rules and error output.
#include "halden_test.h"

#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "platform/user_account.h"

class RunnerTest : public HaldenTest {
    Q_OBJECT

private slots:
    void runs()
    {
        const QStringList setup { "--setup" }, uninstall { "--uninstall" };
        QString head, tail; // of 500 clusters the first 400, of 1,000 the clusters 401 to 800; each told apart
        for (int i = 0; i < 200; ++i)
            (i < 100 ? head : tail) += QString::asprintf("%03d|", i);
        const QStringList odd { "--setup", "--allow-root", "/tmp/my project/ünï", "-x", "", "$HOME *" };
        const QString report = "; printf '{\"step\":\"%s\",\"status\":\"ok\",\"message\":\"%s\"}\\n'";
        const QList<std::tuple<QString, QStringList, QString>> rows { // the agent's script, its arguments, the outcome
            { "cat" + report + " env \"$(tr '\\0' '\\n' < /proc/$$/environ | sort | tr '\\n' ' ')\"",
                setup, // stdin at its end, nothing inherited
                "failed --- | ✓ env: HOME=" + home->path()
                    + " LANG=en_US.UTF-8 PATH=/usr/bin:/bin USER=" + platform::loginName() + " /" },
            { "true" + report + " \"$(pwd)\" \"$(printf '<%s>' \"$@\")\"", odd,
                "failed --- | ✓ " + QDir::currentPath() + ": " + "<" + odd.join("><") + ">/" },
            { "printf "
              "'{\"step\":\"a\",\"status\":\"ok\"}\\n{\"step\":\"b\",\"status\":\"warn\"}\\n{\"step\":\"c\",\"status\":"
              "\"ok\",\"message\":\"\\342\\234'; sleep 0.1; printf '\\223\"}\\n'",
                setup, "failed --- | ✓ a: /! b: /✓ c: ✓/" },
            { "printf '" + doneEvent + "'", setup, "ok S-- | ✓ done: /" }, // no line feed at the end
            { "printf 'Hi\\r\\n{\"step\":\"\\377\",\"status\":\"ok\"}\\r\\n" + doneEvent + "\\r\\n'", setup,
                "ok S-- | ✓ done: /" }, // plain text, invalid UTF-8
            { "echo '{\"step\":\"register\",\"status\":\"ok\"}'", setup, "failed --R | ✓ register: /" },
            { "printf "
              "'{\"step\":\"\\302\\242\\364\\217\\277\\277\",\"status\":\"ok\"}\\n{\"step\":"
              "\"\\301\\277\\364\\220\\200\\200\",\"status\":\"ok\"}\\n{\"step\":\"\\342\\234A\",\"status\":\"ok\"}"
              "\\n'",
                setup, // UTF-8's edges
                "failed --- | ✓ ¢\U0010FFFF: /" },
            { "echo '" + doneEvent + "'; exit 1", setup, "failed S-- | ✓ done: /" },
            { "echo '" + doneEvent + "'; echo bye >&2; kill -9 $$", setup, "failed S-- | ✓ done: /error: bye//" },
            { "echo noise >&2", uninstall, "ok --- | " }, { "exit 3", uninstall, "failed --- | " },
            { "exit 0", { "--repair", "--uninstall" }, "failed --- | " }, { "exit 0", {}, "failed --- | " },
            { "missing", setup, "failed --- | error: could not start the agent binary/" },
            { "i=0; while [ $i -lt 250 ]; do printf '%03d|' $i >&2; i=$((i+1)); done; exit 1", setup,
                "failed --- | error: " + tail + "/" },
            { "i=0; while [ $i -lt 700 ]; do printf 'e\\314\\201' >&2; i=$((i+1)); done; exit 1", setup,
                "failed --- | error: " + QStringLiteral("e\u0301").repeated(400) + "/" },
            { "i=0; while [ $i -lt 125 ]; do printf '%03d|' $i >&2; i=$((i+1)); done; exit 1", setup,
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

    void oneRunAtATimeCompletingOnceAndLast()
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
};

QTEST_MAIN(RunnerTest)
#include "test_runner.moc"
