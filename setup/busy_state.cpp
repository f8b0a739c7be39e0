#include "setup/setup_controller.h"
#include "setup/setup_window.h"

#include <QLabel>
#include <QPushButton>
#include <array>

// Leaving the busy state offers again what the window's state allows. Whether
// the agent binary is still there is not asked: a press finds it missing and
// does nothing.
void SetupController::setBusy(bool isBusy)
{
    busy = isBusy;
    if (busy)
        projectOpenable = false; // only a set-up or repair that succeeds offers it again
    else {
        setupOffered = folder.has_value();
        repairOffered = folder && repairAvailable;
        uninstallOffered = true;
    }
    updateControls();
}

// The one place that shows which controls are offered: operations decide what
// the idle window offers, and a run in progress or a pending removal withdraws
// it.
void SetupController::updateControls()
{
    const bool removalPending = pendingProgramRemoval.has_value();
    const bool idle = !busy && !removalPending;
    const std::array<std::pair<QPushButton*, bool>, 5> controls { {
        { setupButton, idle && setupOffered },
        { repairButton, idle && repairOffered },
        { openProjectButton, idle && projectOpenable },
        { chooseButton, idle },
        // A pending removal is retried with the same button.
        { uninstallButton, !busy && uninstallOffered },
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
