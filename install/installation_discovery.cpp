#include "install/installation_discovery.h"

#include "agent/agent_contract.h"
#include "install/launch_agent_registration.h"
#include "platform/bundle_location.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

std::optional<QString> installDir()
{
    const QFileInfo folder(QFileInfo(platform::bundlePath()).absolutePath());
    if (folder.fileName() != installDirName)
        return std::nullopt;
    return folder.absoluteFilePath();
}

std::optional<QString> agentBinary(const QString& installDir)
{
    const QString candidate = installDir + u'/' + AgentContract::distFolderName + u'/' + AgentContract::executableName;
    // A directory with its search bit set is not an executable.
    if (QFileInfo(candidate).isDir() || access(QFile::encodeName(candidate).constData(), X_OK) != 0)
        return std::nullopt;
    return candidate;
}

std::optional<QString> existingAuthorizedFolder()
{
    const std::optional<QByteArray> contents = readLaunchAgentPropertyList(QDir::homePath());
    if (!contents)
        return std::nullopt;
    const std::optional<QString> folder = authorizedFolderInPropertyList(*contents);
    if (!folder || !QFileInfo(*folder).isDir()) // follows a link at the end of the path
        return std::nullopt;
    return folder;
}
