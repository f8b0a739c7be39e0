#include "install/setup_texts.h"

const QString vscodeReloadInstruction = QStringLiteral(
    "In VS Code, open the Command Palette (Cmd+Shift+P), run “Developer: Reload Window”, then run “Tervan: Scan "
    "Workspace”.");

QString setupCompletionMessage(bool extensionInstalled)
{
    if (extensionInstalled)
        return QStringLiteral("Halden is running and the extension installation is confirmed. ")
            + vscodeReloadInstruction;
    return QStringLiteral(
        "Halden is running, but the VS Code extension installation was not confirmed. Use Repair Agent to retry "
        "extension setup before scanning.");
}
