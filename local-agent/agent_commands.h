#pragma once

#include "local-agent/command_line.h"

// Each returns the process exit status.
int runSetup(const SetupCommand& command);
int runUninstall(const UninstallCommand& command);
