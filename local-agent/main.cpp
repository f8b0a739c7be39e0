#include "local-agent/agent_commands.h"
#include "local-agent/command_line.h"
#include "local-agent/event_writer.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::optional<AgentCommand> command = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!command) {
        writeError(QString::fromUtf8(usageText).trimmed());
        return 2;
    }
    if (const auto* setup = std::get_if<SetupCommand>(&*command))
        return runSetup(*setup);
    return runUninstall(std::get<UninstallCommand>(*command));
}
