#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QPushButton>

void SetupController::setBusy(bool busy)
{
    const bool removalPending = pendingProgramRemoval.has_value();
    chooseButton->setEnabled(!busy && !removalPending);
    uninstallButton->setEnabled(!busy);
    window->setCloseEnabled(!busy);
    if (busy) {
        setupButton->setEnabled(false);
        repairButton->setEnabled(false);
        openProjectButton->setEnabled(false);
        return;
    }
    setupButton->setEnabled(!removalPending && folder.has_value());
    repairButton->setEnabled(!removalPending && repairAvailable && folder.has_value());
    // The open-project button is left alone: only a finished set-up or repair
    // decides it.
}
