#pragma once

// What the tests share: install folders laid out like real ones, stand-in
// agents, launch-agent registrations, and the one fixture that gives every
// test a fresh home, install folder and controller.

#include "setup/setup_controller.h"

#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

// An install folder "<parent>/<name>" with the program standing in its bundle
// ("Halden Setup") through the bundle-location seam, for the object's life.
struct StagedInstall {
    StagedInstall(const QString& parent, const QString& name = QStringLiteral("Tervan Halden Beta"));
    ~StagedInstall();
    QString agentPath() const;
    void writeAgentScript(const QString& body) const; // a shell script as the agent

    const QString installDir;
    const QString bundle;
};

void writeFile(const QString& path, const QByteArray& contents);
void writeExecutable(const QString& path, const QByteArray& contents);
QStringList recordedLines(const QString& path); // without the last line feed
QString recordArguments(const QString& file);   // a shell command appending "$@" to `file`, one a line

enum class PlistFormat { xml, binary };
QByteArray propertyList(const QStringList& programArguments, PlistFormat format);
void writeRegistration(const QString& home, const QStringList& programArguments, PlistFormat format = PlistFormat::xml);

bool waitForRunEnd(SetupController& controller, int timeoutMs = 20000);
// Set-up, repair, choose, open-project and uninstall: "E" enabled, "-" not.
QString buttonStates(const SetupController& controller);
bool statusIsRed(const SetupController& controller); // judged by the hue the user sees

// Every test starts with HOME at a fresh temporary folder holding a per-user
// install folder ("~/Applications/Tervan Halden Beta") whose agent exits 0;
// `start()` makes the controller as the program does.
class FixtureTest : public QObject {
    Q_OBJECT

protected:
    SetupController& start();
    // Acts on every application-modal window once it shows, as a user would,
    // until the test ends.
    void answerModals(std::function<void(QWidget*)> action);

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<StagedInstall> install;
    std::unique_ptr<SetupController> c;

protected slots:
    void init();
    void cleanup();
};
