#include "agent/agent_environment.h"

#include "agent/agent_contract.h"
#include "platform/user_account.h"

#include <QDir>

QProcessEnvironment agentEnvironment()
{
    QProcessEnvironment environment;
    environment.insert(AgentContract::homeVariable, QDir::homePath());
    environment.insert(AgentContract::userVariable, platform::loginName());
    environment.insert(AgentContract::langVariable, AgentContract::langValue);
    environment.insert(AgentContract::pathVariable, AgentContract::pathValue);
    return environment;
}
