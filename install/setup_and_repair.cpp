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
    setupButton->setEnabled(false);
    chooseButton->setEnabled(false);
    repairButton->setEnabled(false);
    log->clear();
    setStatus(SetupTexts::setupRunning, false);
    run(*agent, AgentContract::setupArguments(*folder, *install),
        [this](bool ok) { completeSetupOrRepair(ok, SetupTexts::setupFailedStart); });
}

void SetupController::repair()
{
    const std::optional<QString> install = installDir();
    const std::optional<QString> agent = install ? agentBinary(*install) : std::nullopt;
    if (!agent || !folder)
        return;
    setupButton->setEnabled(false);
    repairButton->setEnabled(false);
    chooseButton->setEnabled(false);
    log->clear();
    setStatus(SetupTexts::repairRunning, false);
    run(*agent, AgentContract::repairArguments(*folder, *install),
        [this](bool ok) { completeSetupOrRepair(ok, SetupTexts::repairFailedStart); });
}

void SetupController::completeSetupOrRepair(bool ok, const QString& failureLineStart)
{
    child = nullptr;
    chooseButton->setEnabled(true);
    openProjectButton->setEnabled(ok);
    updateSetupReadiness();
    if (ok)
        setStatus(setupCompletionMessage(extensionInstalled), false);
    else
        setStatus(failureLineStart + supportAddress + u'.', true);
}
