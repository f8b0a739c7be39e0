#include "install/installation_discovery.h"
#include "setup/modal_dialog.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/window_texts.h"

#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QSettings>

namespace {

// Qt's own folder dialog saves its history of visited folders to the user's
// "QtProject.conf" when it closes. This program keeps no settings and leaves
// no file behind: the toolkit's user settings are pointed at a place where no
// file can ever be made.
void keepNoToolkitSettings()
{
    const QString nowhere = QStringLiteral("/dev/null/no-settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
}

} // namespace

void SetupController::chooseFolder()
{
    keepNoToolkitSettings();
    QFileDialog panel(window, WindowTexts::folderPanelMessage);
    panel.setObjectName(QStringLiteral("folderPanel"));
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly, true);
#ifndef __APPLE__
    // Qt's own dialog: the same everywhere, and it shows the message and the
    // "Authorize" button as asked.
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    // Its completer's popup, open when Return takes a typed path, leaves the
    // window without the active state and the focus that a screen reader
    // follows once the panel has closed. The completion is offered in the
    // field itself instead.
    for (QCompleter* completer : panel.findChildren<QCompleter*>())
        completer->setCompletionMode(QCompleter::InlineCompletion);
#endif
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setLabelText(QFileDialog::Accept, WindowTexts::folderPanelPrompt);
    panel.setWindowModality(Qt::ApplicationModal);
    // Beside the chosen folder, with it selected; otherwise at home, never in
    // whatever folder the program was started from.
    if (folder)
        panel.selectFile(*folder);
    else
        panel.setDirectory(QDir::homePath());
    if (runModal(panel) != QDialog::Accepted)
        return;
    const QStringList chosen = panel.selectedFiles();
    if (chosen.size() != 1 || chosen.first().isEmpty())
        return;
    setFolder(chosen.first());
    updateSetupReadiness();
}

void SetupController::updateSetupReadiness()
{
    if (busy || pendingProgramRemoval)
        return;
    // Without the agent binary nothing could be set up: the line in place, the
    // components-not-found line written at start-up among others, stays.
    const std::optional<QString> install = installDir();
    if (!install || !agentBinary(*install)) {
        setupOffered = false;
        updateControls();
        return;
    }
    setupOffered = folder.has_value();
    repairOffered = folder && repairAvailable;
    updateControls();
    setStatus(folder ? WindowTexts::readyToSetUp : WindowTexts::folderRequired, false);
}
