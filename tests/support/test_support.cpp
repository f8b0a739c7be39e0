#include "support/test_support.h"

#include "agent/agent_contract.h"
#include "platform/bundle_location.h"
#include "setup/setup_controller.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <plist/plist.h>

TemporaryHome::TemporaryHome() : previousHome(qgetenv("HOME"))
{
    qputenv("HOME", QFile::encodeName(dir.path()));
}

TemporaryHome::~TemporaryHome()
{
    qputenv("HOME", previousHome);
}

StagedInstall::StagedInstall(const QString& name, std::optional<QString> parent)
{
    if (!parent) {
        ownParent.emplace();
        parent = ownParent->path();
    }
    root = QDir::cleanPath(*parent + u'/' + name);
    QDir().mkpath(bundle());
    QDir().mkpath(root + u'/' + AgentContract::distFolderName);
    platform::setBundlePathForTesting(bundle());
}

StagedInstall::~StagedInstall()
{
    platform::setBundlePathForTesting(std::nullopt);
}

QString StagedInstall::agentPath() const
{
    return root + u'/' + AgentContract::distFolderName + u'/' + AgentContract::executableName;
}

void StagedInstall::writeAgentScript(const QString& body)
{
    writeExecutable(agentPath(), "#!/bin/sh\n" + body.toUtf8() + "\n");
}

void StagedInstall::copyDevelopmentAgent()
{
    QFile::remove(agentPath());
    QFile::copy(QStringLiteral(HALDEN_STAGED_AGENT), agentPath());
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        qFatal("could not write %s", qPrintable(path));
}

void writeExecutable(const QString& path, const QByteArray& contents)
{
    writeFile(path, contents);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                    | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

QByteArray propertyList(const QStringList& programArguments, PlistFormat format)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "Label", plist_new_string("com.tervan.local-agent"));
    plist_t arguments = plist_new_array();
    for (const QString& argument : programArguments)
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    plist_dict_set_item(root, "ProgramArguments", arguments);
    char* data = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::xml)
        plist_to_xml(root, &data, &length);
    else
        plist_to_bin(root, &data, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    free(data);
    plist_free(root);
    return bytes;
}

void writeRegistration(const QString& home, const QStringList& programArguments, PlistFormat format)
{
    writeFile(home + u'/' + AgentContract::launchAgentPropertyListPath, propertyList(programArguments, format));
}

bool waitForRunEnd(SetupController& controller, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (controller.child && !deadline.hasExpired())
        QTest::qWait(5);
    return controller.child == nullptr;
}

QStringList recordedLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.split(u'\n');
}
