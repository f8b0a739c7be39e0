#pragma once

// What the tests share: temporary homes, install folders laid out like real
// ones, stand-in agents, launch-agent registrations, a driver for modal
// windows, and the one fixture that gives every test a fresh home, install
// folder and controller.

#include "setup/setup_controller.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

// HOME pointed at a fresh temporary folder for the life of the object.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    QString path() const { return dir.path(); }
    QString filePath(const QString& relative) const { return dir.filePath(relative); }

private:
    QTemporaryDir dir;
    QByteArray previousHome;
};

// An install folder "<parent>/<name>" with the program standing in its bundle
// ("Halden Setup") through the bundle-location seam.
class StagedInstall {
public:
    StagedInstall(const QString& parent, const QString& name = QStringLiteral("Tervan Halden Beta"));
    ~StagedInstall();

    QString installDir() const { return root; }
    QString bundle() const { return root + QStringLiteral("/Halden Setup"); }
    QString agentPath() const;
    // A one-line shell script as the agent.
    void writeAgentScript(const QString& body) const;

private:
    QString root;
};

void writeFile(const QString& path, const QByteArray& contents);
void writeExecutable(const QString& path, const QByteArray& contents);
// The lines of a file, without the last line feed.
QStringList recordedLines(const QString& path);
// A shell command that writes the script's arguments into `file`, one a line.
QString recordArguments(const QString& file);

enum class PlistFormat { xml, binary };
QByteArray propertyList(const QStringList& programArguments, PlistFormat format);
void writeRegistration(const QString& home, const QStringList& programArguments, PlistFormat format = PlistFormat::xml);

// Spins the event loop until the controller's agent run has ended.
bool waitForRunEnd(SetupController& controller, int timeoutMs = 20000);

// Acts on the next application-modal window once it is shown, from a timer
// while the window's own event loop runs, as a user would.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> action, int timeoutMs = 10000);
    ~ModalDriver();
    bool wasCalled() const { return *called; }

private:
    std::shared_ptr<bool> called = std::make_shared<bool>(false);
    QTimer* timer;
};

// Set-up, repair, choose, open-project and uninstall: "E" enabled, "-" not.
QString buttonStates(const SetupController& controller);
// Whether the status line reads in a red, judged by its hue.
bool statusIsRed(const SetupController& controller);

// Every test starts with a fresh temporary home holding a per-user install
// folder ("~/Applications/Tervan Halden Beta") whose agent exits 0; `start()`
// makes the controller as the program does.
class FixtureTest : public QObject {
    Q_OBJECT

protected:
    SetupController& start();
    std::unique_ptr<TemporaryHome> home;
    std::unique_ptr<StagedInstall> install;
    std::unique_ptr<SetupController> c;

protected slots:
    void init();
    void cleanup();
};
