#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "platform/user_account.h"
#include "setup/setup_window.h"
#include "support/fixture.h"

#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <csignal>

namespace {

const QString done = QStringLiteral(R"({"step":"done","status":"ok"})");

struct RunOutcome {
    int completions = 0;
    bool succeeded = false;
};

} // namespace

class RunnerTest : public FixtureTest {
    Q_OBJECT

private slots:
    void lineAssembly_data();
    void lineAssembly();
    void runs_data();
    void runs();
    void errorOutputKeepsSplitCharactersAndBoundsMemory();
    void environmentArgumentsAndStreams();
    void eachRunStartsFromCleanFlags();
    void launchFailure_data();
    void launchFailure();
    void secondCallWhileRunningDoesNothing();
    void completionComesOnceAndLast();

private:
    std::shared_ptr<RunOutcome> run(const QString& body, const QStringList& args = {"--setup"});
    int scripts = 0;
};

std::shared_ptr<RunOutcome> RunnerTest::run(const QString& body, const QStringList& args)
{
    const QString script = home->filePath(QStringLiteral("agent-%1").arg(++scripts));
    writeExecutable(script, "#!/bin/sh\n" + body.toUtf8() + "\n");
    auto outcome = std::make_shared<RunOutcome>();
    c->run(script, args, [outcome](bool ok) {
        ++outcome->completions;
        outcome->succeeded = ok;
    });
    waitForRunEnd(*c);
    QTest::qWait(20); // whatever would come after the end shows up now
    return outcome;
}

void RunnerTest::lineAssembly_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("last"); // what finish() gives; "-" for none
    const QByteArray limit(LineAssembler::maxLineBytes, 'x');
    QTest::newRow("carriage return stays") << QByteArrayList{"a\r\nb\r\n"} << QStringList{"a\r", "b\r"} << "-";
    QTest::newRow("split line, unfinished last")
        << QByteArrayList{"{\"st", "ep\"}\nta", "il"} << QStringList{"{\"step\"}"} << "tail";
    QTest::newRow("split character") << QByteArrayList{"\xE2\x9C", "\x93\n"} << QStringList{"✓"} << "-";
    QTest::newRow("invalid UTF-8 dropped") << QByteArrayList{"a\n\xFF\nb\n\xC0\xAF"} << QStringList{"a", "b"} << "-";
    QTest::newRow("empty lines kept") << QByteArrayList{"\n\n"} << QStringList{"", ""} << "-";
    QTest::newRow("over the limit") << QByteArrayList{limit, "y", "\nnext\n", limit + "z"} << QStringList{"next"} << "-";
    QTest::newRow("at the limit") << QByteArrayList{limit, "\n"} << QStringList{QString(limit)} << "-";
}

void RunnerTest::lineAssembly()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, lines);
    QFETCH(QString, last);
    LineAssembler assembler;
    QStringList seen;
    for (const QByteArray& chunk : chunks)
        seen << assembler.feed(chunk);
    QCOMPARE(seen, lines);
    QCOMPARE(assembler.finish().value_or("-"), last);
}

void RunnerTest::runs_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("succeeded");
    const QStringList setup{"--setup"}, uninstall{"--uninstall"};
    QString tail; // clusters 401 to 800 of 1,000, each of them told apart
    for (int i = 100; i < 200; ++i)
        tail += QString::asprintf("%03d|", i);
    QTest::newRow("events in one write") << R"(printf '{"step":"a","status":"ok"}\n{"step":"b","status":"warn"}\n')"
                                         << setup << "✓ a: \n! b: \n" << false;
    QTest::newRow("a line over two writes") << R"(printf '{"step":"a",'; sleep 0.2; printf '"status":"ok"}\n')"
                                            << setup << "✓ a: \n" << false;
    QTest::newRow("a character over three writes")
        << R"(printf '{"step":"a","status":"ok","message":"\342\234'; sleep 0.1; printf '\223 \360\237\221'; sleep 0.1; printf '\215"}\n')"
        << setup << "✓ a: ✓ 👍\n" << false;
    QTest::newRow("done without line feed") << "printf '" + done + "'" << setup << "✓ done: \n" << true;
    QTest::newRow("CRLF endings") << R"(printf '{"step":"a","status":"ok"}\r\n)" + done + R"(\r\n')" << setup
                                  << "✓ a: \n✓ done: \n" << true;
    QTest::newRow("invalid and plain lines skipped")
        << R"(printf 'Starting…\n{"step":"\377","status":"ok"}\n)" + done + R"(\n')" << setup << "✓ done: \n" << true;
    QTest::newRow("exit 0 without done") << "echo '{\"step\":\"register\",\"status\":\"ok\"}'" << setup << "✓ register: \n" << false;
    QTest::newRow("done warn") << "echo '{\"step\":\"done\",\"status\":\"warn\"}'" << setup << "! done: \n" << false;
    QTest::newRow("done, then exit 1") << "echo '" + done + "'; exit 1" << setup << "✓ done: \n" << false;
    QTest::newRow("killed by a signal") << "echo '" + done + "'; echo bye >&2; kill -9 $$" << setup
                                        << "✓ done: \nerror: bye\n\n" << false;
    QTest::newRow("uninstall without events") << "echo noise >&2; exit 0" << uninstall << "" << true;
    QTest::newRow("uninstall, exit 3") << "exit 3" << uninstall << "" << false;
    QTest::newRow("uninstall not first") << "exit 0" << QStringList{"--repair", "--uninstall"} << "" << false;
    QTest::newRow("no arguments") << "exit 0" << QStringList{} << "" << false;
    QTest::newRow("error tail of 1,000")
        << R"(i=0; while [ $i -lt 250 ]; do printf '%03d|' $i >&2; i=$((i+1)); done; exit 1)" << setup
        << "error: " + tail + "\n" << false;
    QTest::newRow("error tail of clusters")
        << R"(i=0; while [ $i -lt 700 ]; do printf 'e\314\201' >&2; i=$((i+1)); done; exit 1)" << setup
        << "error: " + QStringLiteral("e\u0301").repeated(400) + "\n" << false;
    QTest::newRow("events, then the error") << "echo '{\"step\":\"register\",\"status\":\"ok\"}'; echo boom >&2; exit 2"
                                            << setup << "✓ register: \nerror: boom\n\n" << false;
}

void RunnerTest::runs()
{
    QFETCH(QString, body);
    QFETCH(QStringList, args);
    QFETCH(QString, log);
    QFETCH(bool, succeeded);
    start();
    const auto outcome = run(body, args);
    QCOMPARE(c->log->toPlainText(), log);
    QCOMPARE(outcome->completions, 1);
    QCOMPARE(outcome->succeeded, succeeded);
}

void RunnerTest::errorOutputKeepsSplitCharactersAndBoundsMemory()
{
    ErrorOutput errors;
    for (const QByteArray& chunk : {QByteArray("caf\xC3"), QByteArray("\xA9 \xF0\x9F"), QByteArray("\x98\x80 \xFF! \xE2\x9C")})
        errors.feed(chunk);
    QCOMPARE(errors.finish(), QStringLiteral("café 😀 \uFFFD! \uFFFD"));
    ErrorOutput runaway;
    for (int i = 0; i < 5; ++i)
        runaway.feed(QByteArray(ErrorOutput::maxKeptUnits / 2, 'x'));
    runaway.feed("the end");
    const QString kept = runaway.finish();
    QCOMPARE(kept.size(), ErrorOutput::maxKeptUnits);
    QVERIFY(kept.endsWith("xthe end"));
}

void RunnerTest::environmentArgumentsAndStreams()
{
    start();
    const QString seen = home->filePath("seen");
    const QStringList args{"--setup", "--allow-root", "/tmp/my project/ünï", "-x", "", "$HOME *", "two\nlines"};
    qputenv("HALDEN_SECRET", "must not leak");
    run("tr '\\0' '\\n' < /proc/$$/environ | sort >> '" + seen + "'; " + recordArguments(seen)
        + "; cat >> '" + seen + "'; pwd >> '" + seen + "'; echo '" + done + "'", args);
    qunsetenv("HALDEN_SECRET");
    QVERIFY(!platform::loginName().isEmpty());
    const QStringList environment{"HOME=" + home->path(), "LANG=en_US.UTF-8", "PATH=/usr/bin:/bin", "USER=" + platform::loginName()};
    QCOMPARE(recordedLines(seen), environment + args.mid(0, 6) + QStringList({"two", "lines", QDir::currentPath()}));
}

void RunnerTest::eachRunStartsFromCleanFlags()
{
    start();
    QVERIFY(run("echo '{\"step\":\"done\",\"status\":\"ok\",\"extensionInstalled\":true}'")->succeeded);
    QVERIFY(c->extensionInstalled);
    QVERIFY(!run("exit 0")->succeeded); // no "done" this time
    QVERIFY(!c->childSucceeded && !c->extensionInstalled);
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
    start();
    const QString path = home->filePath("agent");
    if (exists)
        writeFile(path, "#!/bin/sh\necho '" + done.toUtf8() + "'\n");
    c->folder = home->path();
    int completions = 0;
    c->run(path, {"--setup"}, [&](bool ok) {
        ++completions;
        QVERIFY(!ok && !c->child && c->chooseButton->isEnabled()); // the busy state is already left
    });
    QCOMPARE(completions, 1); // before run() returned
    QCOMPARE(c->log->toPlainText(), QStringLiteral("error: could not start the agent binary\n"));
    QCOMPARE(buttonStates(*c), QStringLiteral("E-E-E"));
    QTest::qWait(50);
    QCOMPARE(completions, 1);
}

void RunnerTest::secondCallWhileRunningDoesNothing()
{
    start();
    int first = 0, second = 0;
    writeExecutable(home->filePath("slow"), "#!/bin/sh\nsleep 0.5; echo '" + done.toUtf8() + "'\n");
    c->run(home->filePath("slow"), {"--setup"}, [&](bool) { ++first; });
    QProcess* running = c->child;
    c->chooseButton->setEnabled(true); // a change the second call must not undo
    c->run(home->filePath("slow"), {"--setup"}, [&](bool) { ++second; });
    QVERIFY(running && c->child == running && c->chooseButton->isEnabled());
    QVERIFY(waitForRunEnd(*c));
    QTest::qWait(50);
    QCOMPARE(QPair(first, second), QPair(1, 0));
    QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ done: \n"));
}

void RunnerTest::completionComesOnceAndLast()
{
    start();
    c->folder = home->path();
    const QString pidFile = home->filePath("grandchild");
    writeExecutable(home->filePath("agent"), "#!/bin/sh\nsleep 60 & echo $! > '" + pidFile.toUtf8() + "'\nprintf '"
                                                 + done.toUtf8() + "'\n");
    int completions = 0;
    c->run(home->filePath("agent"), {"--setup"}, [&](bool ok) {
        ++completions;
        QVERIFY(ok && !c->child && c->setupButton->isEnabled() && c->window->isCloseEnabled());
        QCOMPARE(c->log->toPlainText(), QStringLiteral("✓ done: \n"));
    });
    QVERIFY(c->child && !c->setupButton->isEnabled() && !c->window->isCloseEnabled()); // busy while it runs
    const bool ended = waitForRunEnd(*c); // long before the grandchild holding the pipe does
    for (const QString& pid : recordedLines(pidFile))
        ::kill(pid.toInt(), SIGKILL);
    QVERIFY(ended);
    QTest::qWait(50);
    QCOMPARE(completions, 1);
}

QTEST_MAIN(RunnerTest)
#include "test_runner.moc"
