// How fast agent events reach the log: 200,000 event lines written by a real
// child through run() and consume(), against putting the same final text into
// the same kind of widget with one setPlainText(), in the same process. Also
// the longest time the event loop was kept from running while lines streamed.
//
//   QT_QPA_PLATFORM=offscreen bench-log-stream [LINES]

#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 200000;
    QTemporaryDir scratch;
    qputenv("HOME", QFile::encodeName(scratch.path())); // no registration is found: no start-up repair

    // The agent's output, written out first so the child only streams it.
    const QString output = scratch.filePath("events.jsonl");
    {
        QFile file(output);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < lines; ++i)
            file.write(QStringLiteral(R"({"step":"scan","status":"ok","message":"checked src/mod_%1/file.ts"})"
                                      "\n")
                    .arg(i, 6, 10, QChar(u'0'))
                    .toUtf8());
        file.write(R"({"step":"done","status":"ok"})"
                   "\n");
    }
    const QString agent = scratch.filePath("agent.sh");
    {
        QFile file(agent);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("#!/bin/sh\nexec cat '" + QFile::encodeName(output) + "'\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    SetupController controller;
    controller.window->show();

    // The event loop's pulse: a timer that should fire every 2 ms.
    QElapsedTimer pulse;
    qint64 longestStall = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longestStall = std::max(longestStall, pulse.restart()); });

    QElapsedTimer clock;
    bool succeeded = false;
    QTimer::singleShot(0, [&] {
        pulse.start();
        heartbeat.start(2);
        clock.start();
        controller.run(agent, { "--setup" }, [&](bool ok) {
            succeeded = ok;
            heartbeat.stop();
            QCoreApplication::exit(0);
        });
    });
    application.exec();
    const double streamed = clock.nsecsElapsed() / 1e9;
    const QString finalText = controller.log->toPlainText();

    // The same text into the same kind of widget, once.
    QPlainTextEdit reference;
    reference.setReadOnly(true);
    reference.setUndoRedoEnabled(false);
    reference.setFont(controller.log->font());
    reference.setFixedSize(controller.log->size());
    reference.show();
    QCoreApplication::processEvents();
    clock.restart();
    reference.setPlainText(finalText);
    QCoreApplication::processEvents();
    const double once = clock.nsecsElapsed() / 1e9;

    std::printf("lines: %d (%lld characters of log, run %s)\n", lines + 1, static_cast<long long>(finalText.size()),
        succeeded ? "succeeded" : "FAILED");
    std::printf("streamed through run() and consume(): %.3f s\n", streamed);
    std::printf("one setPlainText(): %.3f s\n", once);
    std::printf("ratio: %.2f\n", streamed / once);
    std::printf("longest event-loop stall while streaming: %lld ms\n", static_cast<long long>(longestStall));
    return succeeded && reference.toPlainText() == finalText ? 0 : 1;
}
