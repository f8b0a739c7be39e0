#pragma once

// The one fixture of the suite. Every test starts with HOME at a fresh temporary folder holding a per-user install
// folder ("~/Applications/Tervan Halden Beta") that the program stands in (its bundle "Halden Setup" through the
// bundle-location seam), with a shell script as its agent; `start()` makes the controller as the program does.

#include "agent/agent_contract.h"
#include "app/globals.h"
#include "install/installation_discovery.h"
#include "install/setup_texts.h"
#include "platform/property_list.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

void writeFile(const QString& path, const QByteArray& contents);
void writeScript(const QString& path, const QString& script); // for /bin/sh, executable
QStringList recordedLines(const QString& path); // without the last line feed
// A shell command appending "$@" to `file`, one a line.
inline QString recordArguments(const QString& file)
{
    return "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + file + "'";
}
using platform::PlistFormat;
QByteArray propertyList(const QStringList& programArguments, PlistFormat format);
bool waitForRunEnd(SetupController& c); // false when the run still goes on after 20 s
inline const QString doneEvent = QStringLiteral(R"({"step":"done","status":"ok"})");
inline const QString doneOk = "echo '" + doneEvent + "'"; // an agent's script

// Each test_<name>.cpp declares its test functions in a class of its own derived from this one.
class HaldenTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    SetupController& start() { return *(c = std::make_unique<SetupController>()); } // as the program makes it
    void showAsTheProgramDoes(); // with its header image and menu bar, active
    void writeAgent(const QString& script) const { writeScript(agentPath, script); }
    void makeHome(); // a fresh home with the program installed, as every test starts
    // A row of a table of strings, its cells in the order of the columns.
    template <typename... Cells> static void row(const char* name, const Cells&... cells)
    {
        (QTest::newRow(name) << ... << QString(cells));
    }

    std::unique_ptr<QTemporaryDir> home;
    QString installDir, bundle, agentPath;
    std::unique_ptr<SetupController> c;

private:
    QStringList unexpected; // dialogs no test answered: cancelled, and the test fails
};
