#pragma once

#include <QProcessEnvironment>

// The agent's whole environment: HOME, USER, LANG and PATH, nothing inherited.
QProcessEnvironment agentEnvironment();
