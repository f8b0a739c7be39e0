#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Runs one shell command with administrator rights, the way an AppleScript
// `do shell script "…" with administrator privileges` statement does on macOS.
namespace platform {

enum class PrivilegedOutcome {
    succeeded,
    cancelled, // the user dismissed the approval prompt
    failed, // refused, the command failed, or nothing could be run
};

// The shell command of a `do shell script "…" with administrator privileges`
// statement, with the AppleScript string escapes undone; none when the text is
// not such a statement.
std::optional<QString> shellCommandOfAdministratorStatement(const QString& statement);

// Runs the statement as one privileged shell invocation and waits for it
// (Linux: /usr/bin/pkexec /bin/sh -c WRAPPER sh COMMAND, where the wrapper
// runs COMMAND; macOS: osascript -e STATEMENT).
PrivilegedOutcome runAdministratorStatement(const QString& statement);

// Tests put a stand-in for the approval helper ("pkexec") here; it is called
// with the same arguments. An empty optional restores pkexec.
void setPrivilegeHelperForTesting(std::optional<QString> program);

} // namespace platform
