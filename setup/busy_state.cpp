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
    // A control about to be disabled hands the keyboard focus to the status
    // line, where the operation reports, rather than Qt passing it on to
    // whichever control comes next.
    for (const auto& [button, enabled] : controls)
        if (!enabled && window->focusWidget() == button)
            statusLabel->setFocus(Qt::OtherFocusReason);
    for (const auto& [button, enabled] : controls)
        button->setEnabled(enabled);
    window->setCloseEnabled(!busy);
    if (busy)
        window->setCursor(Qt::BusyCursor);
    else
        window->unsetCursor();
}

// A screen reader such as Orca speaks a change of text only in the control that
// has the keyboard focus. So when the user presses a control, the status line
// the operation writes in answer takes the focus, and with it whatever the
// operation writes there later, unless the user has moved the focus since. A
// dialog keeps the focus it has: the window's focus then waits for the window.
void SetupController::notePress()
{
    pressFocus = window->focusWidget();
    answerAwaited = true;
}

void SetupController::statusWritten()
{
    if (std::exchange(answerAwaited, false) && window->focusWidget() == pressFocus)
        statusLabel->setFocus(Qt::OtherFocusReason);
}
