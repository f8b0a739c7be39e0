#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "platform/user_account.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "support/installation_fixture.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <csignal>

namespace {

struct RunOutcome {
    int completions = 0;
    bool succeeded = false;
    QString log;
};

const QString done = QStringLiteral(R"({"step":"done","status":"ok"})");

} // namespace

class RunnerTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lineAssembly_data();
    void lineAssembly();
    void overlongLinesAreNoEvents();
    void exitRules_data();
    void exitRules();
    void errorTailAfterFailure_data();
    void errorTailAfterFailure();
    void errorOutputKeepsSplitCharactersAndBoundsMemory();
    void environmentArgumentsAndStreams();
    void launchFailure_data();
    void launchFailure();
    void secondCallWhileRunningDoesNothing();
    void grandchildHoldingThePipeDoesNotDelayTheEnd();
    void completionComesLast();

private:
    RunOutcome runScript(const QString& body, const QStringList& args = {"--setup"});
    QString script(const QString& body);

    int scripts = 0;
};

void RunnerTest::init()
{
    makeInstallation();
    startController();
}

void RunnerTest::cleanup()
{
    removeInstallation();
}

QString RunnerTest::script(const QString& body)
{
    const QString path = home->filePath(QStringLiteral("agent-%1.sh").arg(++scripts));
    writeExecutable(path, "#!/bin/sh\n" + body.toUtf8() + "\n");
    return path;
}

RunOutcome RunnerTest::runScript(const QString& body, const QStringList& args)
{
    auto outcome = std::make_shared<RunOutcome>();
    c->run(script(body), args, [outcome](bool ok) {
        ++outcome->completions;
        outcome->succeeded = ok;
    });
    if (!waitForRunEnd(*c))
        qWarning("the run did not end");
    QTest::qWait(20); // anything that would come after the end shows up now
    outcome->log = c->log->toPlainText();
    return *outcome;
}

void RunnerTest::lineAssembly_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("succeeded");
    QTest::newRow("two lines in one write")
        << R"(printf '{"step":"a","status":"ok"}\n{"step":"b","status":"warn"}\n')" << "✓ a: \n! b: \n" << false;
    QTest::newRow("a line split across writes")
        << R"(printf '{"step":"a",'; sleep 0.2; printf '"status":"ok"}\n')" << "✓ a: \n" << false;
    QTest::newRow("final done without line feed") << "printf '" + done + "'" << "✓ done: \n" << true;
    QTest::newRow("CRLF endings")
        << R"(printf '{"step":"a","status":"ok"}\r\n{"step":"done","status":"ok"}\r\n')" << "✓ a: \n✓ done: \n" << true;
    QTest::newRow("empty lines") << R"(printf '\n\n{"step":"a","status":"ok"}\n\n')" << "✓ a: \n" << false;
    QTest::newRow("a character split across writes")
        << R"(printf '{"step":"a","status":"ok","message":"\342\234'; sleep 0.2; printf '\223 \360\237\221'; sleep 0.2; printf '\215"}\n')"
        << "✓ a: ✓ 👍\n" << false;
    QTest::newRow("an invalid line among valid ones")
        << R"(printf '{"step":"a","status":"ok"}\n{"step":"\377","status":"ok"}\n{"step":"done","status":"ok"}\n')"
        << "✓ a: \n✓ done: \n" << true;
    QTest::newRow("plain text is never shown") << "echo 'Starting…'; echo '" + done + "'" << "✓ done: \n" << true;
}

void RunnerTest::lineAssembly()
{
    QFETCH(QString, body);
    QFETCH(QString, log);
    QFETCH(bool, succeeded);
    const RunOutcome outcome = runScript(body);
    QCOMPARE(outcome.log, log);
    QCOMPARE(outcome.completions, 1);
    QCOMPARE(outcome.succeeded, succeeded);
}

void RunnerTest::overlongLinesAreNoEvents()
{
    LineAssembler lines;
    const QByteArray event = R"({"step":"a","status":"ok"})";
    QCOMPARE(lines.feed(QByteArray(LineAssembler::maxLineBytes, 'x')), QStringList());
    QCOMPARE(lines.feed("more of the same line"), QStringList()); // now past the limit
    QCOMPARE(lines.feed("\n" + event + "\n"), QStringList{QString::fromUtf8(event)});
    QCOMPARE(lines.feed(QByteArray(LineAssembler::maxLineBytes + 1, 'y')), QStringList());
    QCOMPARE(lines.finish(), std::nullopt);
    // A line of exactly the limit is still read.
    QCOMPARE(lines.feed(event + QByteArray(LineAssembler::maxLineBytes - event.size(), ' ') + "\n").size(), 1);
}

void RunnerTest::exitRules_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("succeeded");
    const QStringList setup{"--setup"};
    QTest::newRow("exit 0 with done ok") << "echo '" + done + "'" << setup << true;
    QTest::newRow("exit 0 without done") << R"(echo '{"step":"register","status":"ok"}')" << setup << false;
    QTest::newRow("done warn") << R"(echo '{"step":"done","status":"warn"}')" << setup << false;
    QTest::newRow("done ok then exit 1") << "echo '" + done + "'; exit 1" << setup << false;
    QTest::newRow("killed by a signal") << "echo '" + done + "'; kill -9 $$" << setup << false;
    QTest::newRow("uninstall, no output") << "exit 0" << QStringList{"--uninstall"} << true;
    QTest::newRow("uninstall, exit 3") << "exit 3" << QStringList{"--uninstall"} << false;
    QTest::newRow("uninstall not first") << "exit 0" << QStringList{"--repair", "--uninstall"} << false;
    QTest::newRow("no arguments") << "exit 0" << QStringList{} << false;
}

void RunnerTest::exitRules()
{
    QFETCH(QString, body);
    QFETCH(QStringList, args);
    QFETCH(bool, succeeded);
    const RunOutcome outcome = runScript(body, args);
    QCOMPARE(outcome.completions, 1);
    QCOMPARE(outcome.succeeded, succeeded);
}

void RunnerTest::errorTailAfterFailure_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("log");
    // 1,000 characters: 0-9 repeated, then a marker at 401 and 800.
    QTest::newRow("1000 characters, exit 1")
        << R"(i=0; while [ $i -lt 100 ]; do printf '0123456789' >&2; i=$((i+1)); done; exit 1)"
        << "error: " + QStringLiteral("0123456789").repeated(40) + "\n";
    QTest::newRow("short, exit 2") << "echo 'agent: disk full' >&2; exit 2" << "error: agent: disk full\n\n";
    QTest::newRow("hidden after exit 0") << "echo 'noise' >&2; exit 0" << "";
    QTest::newRow("exit 1 without error text") << "exit 1" << "";
    QTest::newRow("clusters of several code points")
        << R"(i=0; while [ $i -lt 700 ]; do printf 'e\314\201' >&2; i=$((i+1)); done; exit 1)"
        << "error: " + QStringLiteral("e\u0301").repeated(400) + "\n";
    QTest::newRow("events, then the error") << R"(echo '{"step":"register","status":"ok"}'; echo boom >&2; exit 1)"
                                            << "✓ register: \nerror: boom\n\n";
}

void RunnerTest::errorTailAfterFailure()
{
    QFETCH(QString, body);
    QFETCH(QString, log);
    QCOMPARE(runScript(body).log, log);
}

void RunnerTest::errorOutputKeepsSplitCharactersAndBoundsMemory()
{
    ErrorOutput errors;
    errors.feed("caf\xC3");
    errors.feed("\xA9 \xF0\x9F");
    errors.feed("\x98\x80 \xFF!");
    QCOMPARE(errors.finish(), QStringLiteral("café 😀 \uFFFD!"));

    ErrorOutput unfinished;
    unfinished.feed("ok \xE2\x9C");
    QCOMPARE(unfinished.finish(), QStringLiteral("ok \uFFFD"));

    ErrorOutput runaway;
    for (int i = 0; i < 5; ++i)
        runaway.feed(QByteArray(ErrorOutput::maxKeptUnits / 2, 'x'));
    runaway.feed("the end");
    const QString kept = runaway.finish();
    QCOMPARE(kept.size(), ErrorOutput::maxKeptUnits);
    QVERIFY(kept.endsWith("the end"));
}

void RunnerTest::environmentArgumentsAndStreams()
{
    const QString environment = home->filePath("environment");
    const QString arguments = home->filePath("arguments");
    const QString input = home->filePath("input");
    const QString directory = home->filePath("directory");
    const QString body = "tr '\\0' '\\n' < /proc/$$/environ > '" + environment + "'\n"
                         "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + arguments + "'\n"
                         "cat > '" + input + "'\n" // returns at once: end of file
                         "pwd > '" + directory + "'\n"
                         "echo '" + done + "'";
    const QStringList args{"--setup", "--allow-root", "/tmp/my project/ünïcødé", "-leading-dash", "",
                           "$HOME *", "two\nlines"};
    qputenv("HALDEN_SECRET", "must not leak");
    const RunOutcome outcome = runScript(body, args);
    qunsetenv("HALDEN_SECRET");
    QVERIFY(outcome.succeeded);

    QStringList seen = recordedLines(environment);
    seen.sort();
    QCOMPARE(seen, (QStringList{"HOME=" + home->path(), "LANG=en_US.UTF-8", "PATH=/usr/bin:/bin",
                                "USER=" + platform::loginName()}));
    QVERIFY(!platform::loginName().isEmpty());
    QCOMPARE(recordedLines(arguments), (QStringList{"--setup", "--allow-root", "/tmp/my project/ünïcødé",
                                                    "-leading-dash", "", "$HOME *", "two", "lines"}));
    QCOMPARE(QFileInfo(input).size(), 0);
    QCOMPARE(recordedLines(directory), QStringList{QDir::currentPath()});
}

void RunnerTest::launchFailure_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << false;
    QTest::newRow("not executable") << true;
}

void RunnerTest::launchFailure()
{
    QFETCH(bool, exists);
    const QString path = home->filePath("agent");
    if (exists)
        writeFile(path, "#!/bin/sh\necho '" + done.toUtf8() + "'\n"); // no execute bit
    c->folder = home->path();
    int completions = 0;
    bool result = true;
    c->run(path, {"--setup"}, [&](bool ok) {
        ++completions;
        result = ok;
        QVERIFY(!c->child);
        QVERIFY(c->chooseButton->isEnabled()); // the busy state is already left
    });
    QCOMPARE(completions, 1); // before run() returned
    QVERIFY(!result);
    QVERIFY(!c->child);
    QCOMPARE(c->log->toPlainText(), QStringLiteral("error: could not start the agent binary\n"));
    QVERIFY(c->setupButton->isEnabled() && c->uninstallButton->isEnabled());
    QTest::qWait(50);
    QCOMPARE(completions, 1);
}

void RunnerTest::secondCallWhileRunningDoesNothing()
{
    const QString first = script("sleep 0.5; echo '" + done + "'");
    int firstCompletions = 0, secondCompletions = 0;
    c->run(first, {"--setup"}, [&](bool) { ++firstCompletions; });
    QProcess* running = c->child;
    QVERIFY(running);
    c->chooseButton->setEnabled(true); // a change the second call must not undo
    c->run(script("echo '" + done + "'"), {"--setup"}, [&](bool) { ++secondCompletions; });
    QCOMPARE(c->child, running);
    QVERIFY(c->chooseButton->isEnabled());
    QVERIFY(c->log->toPlainText().isEmpty());
    QVERIFY(waitForRunEnd(*c));
    QTest::qWait(50);
    QCOMPARE(firstCompletions, 1);
    QCOMPARE(secondCompletions, 0);
    QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ done: \n"));
}

void RunnerTest::grandchildHoldingThePipeDoesNotDelayTheEnd()
{
    const QString pidFile = home->filePath("grandchild");
    QElapsedTimer clock;
    clock.start();
    const RunOutcome outcome = runScript("sleep 60 & echo $! > '" + pidFile + "'; echo '" + done + "'; exit 0");
    const qint64 elapsed = clock.elapsed();
    const QStringList pid = recordedLines(pidFile);
    if (!pid.isEmpty())
        ::kill(pid.first().toInt(), SIGKILL);
    QCOMPARE(outcome.completions, 1);
    QVERIFY(outcome.succeeded);
    QVERIFY2(elapsed < 30000, "the run waited for the grandchild"); // the grandchild lives 60 s
}

void RunnerTest::completionComesLast()
{
    c->folder = home->path();
    bool checked = false;
    c->run(script("printf '" + done + "'"), {"--setup"}, [&](bool ok) {
        QVERIFY(ok);
        QVERIFY(!c->child);
        QVERIFY(c->setupButton->isEnabled()); // setBusy(false) came first
        QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ done: \n")); // the unterminated last line too
        checked = true;
    });
    QVERIFY(c->child);
    QVERIFY(!c->setupButton->isEnabled() && !c->window->isCloseEnabled()); // busy while it runs
    QVERIFY(waitForRunEnd(*c));
    QVERIFY(checked);
}

QTEST_MAIN(RunnerTest)
#include "test_runner.moc"
