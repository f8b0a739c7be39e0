#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

class SetupController;

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

// An install folder laid out like a real one, with the program standing in
// its bundle ("<parent>/<name>/Halden Setup") through the bundle-location seam.
class StagedInstall {
public:
    // `parent` defaults to a fresh temporary folder.
    explicit StagedInstall(const QString& name = QStringLiteral("Tervan Halden Beta"),
                           std::optional<QString> parent = std::nullopt);
    ~StagedInstall();

    QString installDir() const { return root; }
    QString bundle() const { return root + QStringLiteral("/Halden Setup"); }
    QString agentPath() const;

    // A shell-script agent, executable.
    void writeAgentScript(const QString& body);
    // The development agent built with the project.
    void copyDevelopmentAgent();

private:
    std::optional<QTemporaryDir> ownParent;
    QString root;
};

void writeFile(const QString& path, const QByteArray& contents);
void writeExecutable(const QString& path, const QByteArray& contents);

enum class PlistFormat { xml, binary };
// The launch-agent registration under `home`, written with libplist.
void writeRegistration(const QString& home, const QStringList& programArguments, PlistFormat format);
QByteArray propertyList(const QStringList& programArguments, PlistFormat format);

// Waits (spinning the event loop) until the controller's agent run has ended.
bool waitForRunEnd(SetupController& controller, int timeoutMs = 20000);

// The lines a stand-in agent recorded, one argument a line.
QStringList recordedLines(const QString& path);
