#include "install/installation_discovery.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QPushButton>

void SetupController::setBusy(bool isBusy)
{
    busy = isBusy;
    updateControls();
}

// The one place that decides which controls are offered; operations change the
// state and call this. The agent binary is looked for afresh: nothing found is
// cached.
void SetupController::updateControls()
{
    const std::optional<QString> install = installDir();
    const bool agentPresent = install && agentBinary(*install);
    const bool removalPending = pendingProgramRemoval.has_value();
    // Once the agent is gone only finishing the removal is offered.
    const bool agentWork = !busy && !removalPending && agentPresent;
    setupButton->setEnabled(agentWork && folder && !startUpRepairQueued);
    repairButton->setEnabled(agentWork && folder && repairAvailable);
    openProjectButton->setEnabled(!busy && !removalPending && projectOpenable);
    chooseButton->setEnabled(!busy && !removalPending);
    // A pending removal is retried with the same button even when the agent
    // binary went with a partly removed folder.
    uninstallButton->setEnabled(!busy && (agentPresent || removalPending));
    window->setCloseEnabled(!busy);
}
