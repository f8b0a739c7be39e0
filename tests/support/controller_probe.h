#pragma once

#include <QString>

class SetupController;

// The enabled state of set-up, repair, choose, open-project and uninstall, in
// that order: "E" enabled, "-" disabled.
QString buttonStates(const SetupController& controller);

// Whether the status line is in the error colour; false means the secondary colour.
bool statusIsError(const SetupController& controller);
bool statusIsSecondary(const SetupController& controller);
