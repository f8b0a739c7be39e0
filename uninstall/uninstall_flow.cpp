#include "agent/agent_contract.h"
#include "app/globals.h"
#include "install/installation_discovery.h"
#include "setup/modal_dialog.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "uninstall/uninstall_dialogs.h"
#include "uninstall/uninstall_texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>

void SetupController::uninstall()
{
    if (child)
        return;
    if (pendingProgramRemoval) {
        finishUninstall(*pendingProgramRemoval);
        return;
    }
    const std::optional<QString> install = installDir();
    const std::optional<QString> agent = install ? agentBinary(*install) : std::nullopt;
    if (!agent)
        return;

    std::optional<ProgramRemoval> plan;
    try {
        plan = ProgramRemoval::plan(*install);
    } catch (const LocalizedError& error) {
        setStatus(error.errorDescription(), true);
        return;
    }

    UninstallConfirmation confirmation(uninstallConfirmationText(*plan), folder.has_value(), window);
    if (runModal(confirmation) != QDialog::Accepted)
        return;
    const bool removeHistory = confirmation.removeHistory->isChecked() && folder;
    const QStringList arguments = AgentContract::uninstallArguments(
        confirmation.removeCredentials->isChecked(), removeHistory ? folder : std::nullopt);

    log->clear();
    setStatus(UninstallTexts::uninstallRunning, false);
    run(*agent, arguments, [this, plan = *plan](bool ok) {
        if (!ok) {
            setStatus(UninstallTexts::uninstallFailed, true);
            return;
        }
        pendingProgramRemoval = plan;
        finishUninstall(plan);
    });
}

void SetupController::finishUninstall(const ProgramRemoval& plan)
{
    setBusy(true);
    try {
        plan.remove();
    } catch (const LocalizedError& error) {
        setBusy(false);
        setStatus(error.errorDescription(), true);
        return;
    }
    pendingProgramRemoval.reset();
    showUninstallFinished(window);
    // The window stays busy until the program has ended.
    endProgram();
}
