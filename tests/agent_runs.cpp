// Runs of a stand-in agent on a fresh controller, as the runner and protocol rows see them.
#include "halden_test.h"

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
