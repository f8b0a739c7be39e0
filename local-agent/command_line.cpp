#include "local-agent/command_line.h"

#include "agent/agent_contract.h"

using namespace AgentContract;

const char* const usageText
    = "usage: tervan-agent --setup|--repair --allow-root PROJECT_FOLDER --install-dir INSTALL_FOLDER\n"
      "       tervan-agent --uninstall [--remove-credentials] [--remove-history PROJECT_FOLDER]\n";

std::optional<AgentCommand> parseCommandLine(const QStringList& arguments)
{
    if (arguments.size() == 5 && (arguments[0] == setupSwitch || arguments[0] == repairSwitch)
        && arguments[1] == allowRootSwitch && arguments[3] == installDirSwitch && !arguments[2].isEmpty()
        && !arguments[4].isEmpty())
        return SetupCommand { arguments[0] == repairSwitch, arguments[2], arguments[4] };

    if (arguments.isEmpty() || arguments[0] != uninstallSwitch)
        return std::nullopt;
    UninstallCommand command;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == removeCredentialsSwitch && !command.removeCredentials) {
            command.removeCredentials = true;
        } else if (arguments[i] == removeHistorySwitch && !command.removeHistoryIn && i + 1 < arguments.size()
            && !arguments[i + 1].isEmpty()) {
            command.removeHistoryIn = arguments[++i];
        } else {
            return std::nullopt;
        }
    }
    return command;
}
