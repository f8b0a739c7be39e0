#include "install/installation_discovery.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QLabel>
#include <QPushButton>
#include <array>

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
    const std::array<std::pair<QPushButton*, bool>, 5> controls { {
        { setupButton, agentWork && folder && !startUpRepairQueued },
        { repairButton, agentWork && folder && repairAvailable },
        { openProjectButton, !busy && !removalPending && projectOpenable },
        { chooseButton, !busy && !removalPending },
        // A pending removal is retried with the same button even when the
        // agent binary went with a partly removed folder.
        { uninstallButton, !busy && (agentPresent || removalPending) },
    } };
    // The control that has the keyboard focus changes last: if it is disabled,
    // Qt hands the focus on to the next control that stays enabled, not through
    // every one that is about to be disabled.
    QWidget* focused = window->focusWidget();
    for (const bool focusedOne : { false, true })
        for (const auto& [button, enabled] : controls)
            if ((button == focused) == focusedOne)
                button->setEnabled(enabled);
    showReturnTarget();
    window->setCloseEnabled(!busy);
    if (busy)
        window->setCursor(Qt::BusyCursor);
    else
        window->unsetCursor();
}
