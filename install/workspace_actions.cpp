#include "app/globals.h"
#include "install/setup_texts.h"
#include "install/support_link.h"
#include "platform/application_launcher.h"
#include "setup/setup_controller.h"

#include <QDesktopServices>
#include <QUrl>

void SetupController::openProject()
{
    platform::ApplicationLauncher& launcher = platform::applicationLauncher();
    const std::optional<QString> vscode
        = folder ? launcher.applicationFor(SetupTexts::vscodeBundleIdentifier) : std::nullopt;
    if (!vscode) {
        setStatus(SetupTexts::vscodeNotFound, true);
        return;
    }
    launcher.launch(*vscode, { *folder }, [this](std::optional<QString> error) {
        if (error)
            setStatus(SetupTexts::vscodeCouldNotOpen, true);
        else
            setStatus(setupCompletionMessage(extensionInstalled), false);
    });
}

void SetupController::openHelp() { QDesktopServices::openUrl(helpURL); }

void SetupController::openSupport()
{
    if (const std::optional<QUrl> mail = supportMailUrl(supportAddress))
        QDesktopServices::openUrl(*mail);
}
