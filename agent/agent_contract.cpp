#include "agent/agent_contract.h"

namespace AgentContract {

QString agentPath(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    return trimmed;
}

QStringList setupArguments(const QString& projectFolder, const QString& installDir)
{
    return { setupSwitch, allowRootSwitch, agentPath(projectFolder), installDirSwitch, agentPath(installDir) };
}

QStringList repairArguments(const QString& projectFolder, const QString& installDir)
{
    return { repairSwitch, allowRootSwitch, agentPath(projectFolder), installDirSwitch, agentPath(installDir) };
}

QStringList uninstallArguments(bool removeCredentials, const std::optional<QString>& removeHistoryIn)
{
    QStringList arguments { uninstallSwitch };
    if (removeCredentials)
        arguments << removeCredentialsSwitch;
    if (removeHistoryIn)
        arguments << removeHistorySwitch << agentPath(*removeHistoryIn);
    return arguments;
}

} // namespace AgentContract
