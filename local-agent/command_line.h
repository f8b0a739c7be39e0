#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

struct SetupCommand {
    bool repair = false;
    QString projectFolder;
    QString installDir;
};

struct UninstallCommand {
    bool removeCredentials = false;
    std::optional<QString> removeHistoryIn;
};

using AgentCommand = std::variant<SetupCommand, UninstallCommand>;

// The command of an argument list (without the program name); none when it is
// not one of the contract's forms.
std::optional<AgentCommand> parseCommandLine(const QStringList& arguments);

extern const char* const usageText;
