#include "agent/agent_contract.h"
#include "app/globals.h"
#include "install/installation_discovery.h"
#include "install/setup_texts.h"
#include "setup/setup_controller.h"

#include <QPlainTextEdit>
#include <QPushButton>

void SetupController::setUpAgent()
{
    const std::optional<QString> install = installDir();
    if (!install)
        return;
    const std::optional<QString> agent = agentBinary(*install);
    if (!agent)
        return;
    if (!folder) {
        setStatus(SetupTexts::chooseFolderFirst, true);
        return;
    }
    startSetupOrRepair(*agent, AgentContract::setupArguments(*folder, *install), SetupTexts::setupRunning,
        SetupTexts::setupFailedStart);
}

void SetupController::repair()
{
    const std::optional<QString> install = installDir();
    const std::optional<QString> agent = install ? agentBinary(*install) : std::nullopt;
    if (!agent || !folder)
        return;
    startSetupOrRepair(*agent, AgentContract::repairArguments(*folder, *install), SetupTexts::repairRunning,
        SetupTexts::repairFailedStart);
}

void SetupController::startSetupOrRepair(
    const QString& agent, const QStringList& arguments, const QString& runningLine, const QString& failureLineStart)
{
    log->clear();
    setStatus(runningLine, false);
    run(agent, arguments, [this, failureLineStart](bool ok) { completeSetupOrRepair(ok, failureLineStart); });
}

void SetupController::completeSetupOrRepair(bool ok, const QString& failureLineStart)
{
    projectOpenable = ok;
    updateSetupReadiness(); // shows the controls, whatever it decides
    if (ok)
        setStatus(setupCompletionMessage(extensionInstalled), false);
    else
        setStatus(failureLineStart + supportAddress + u'.', true);
}
