#include "platform/privileged_shell.h"

#include <QProcess>

namespace platform {
namespace {

    const QString statementStart = QStringLiteral("do shell script \"");
    const QString statementEnd = QStringLiteral("\" with administrator privileges");

#ifdef __APPLE__
    // osascript reports error -128 when the user cancels the approval prompt.
    const QString appleScriptUserCancelled = QStringLiteral("(-128)");
#else
    // pkexec exits with 126 when the user dismisses the authentication dialog.
    constexpr int pkexecDismissed = 126;
    // By its full path: a program of that name earlier in PATH is never run.
    const QString pkexec = QStringLiteral("/usr/bin/pkexec");
    // The shell itself also exits with 126 when a command it runs cannot be
    // executed. The command therefore runs in a shell of its own, and a 126 of
    // that shell becomes a plain failure, so that only pkexec can say "dismissed".
    const QString commandWrapper
        = QStringLiteral("/bin/sh -c \"$1\"; status=$?; [ $status -ne 126 ] || status=1; exit $status");
#endif

    std::optional<QString>& helperOverride()
    {
        static std::optional<QString> program;
        return program;
    }

} // namespace

std::optional<QString> shellCommandOfAdministratorStatement(const QString& statement)
{
    if (!statement.startsWith(statementStart) || !statement.endsWith(statementEnd)
        || statement.size() < statementStart.size() + statementEnd.size())
        return std::nullopt;
    const QStringView body = QStringView(statement).mid(
        statementStart.size(), statement.size() - statementStart.size() - statementEnd.size());
    QString command;
    command.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c == u'"')
            return std::nullopt; // an unescaped quote ends the string early
        if (c != u'\\') {
            command.append(c);
            continue;
        }
        if (++i == body.size())
            return std::nullopt;
        switch (body[i].unicode()) {
        case u'"':
            command.append(u'"');
            break;
        case u'\\':
            command.append(u'\\');
            break;
        case u'n':
            command.append(u'\n');
            break;
        case u't':
            command.append(u'\t');
            break;
        case u'r':
            command.append(u'\r');
            break;
        default:
            return std::nullopt;
        }
    }
    return command;
}

PrivilegedOutcome runAdministratorStatement(const QString& statement)
{
    const std::optional<QString> command = shellCommandOfAdministratorStatement(statement);
    if (!command)
        return PrivilegedOutcome::failed;

    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
#ifdef __APPLE__
    process.start(QStringLiteral("/usr/bin/osascript"), { QStringLiteral("-e"), statement });
#else
    process.start(helperOverride().value_or(pkexec),
        { QStringLiteral("/bin/sh"), QStringLiteral("-c"), commandWrapper, QStringLiteral("sh"), *command });
#endif
    process.closeWriteChannel();
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
        return PrivilegedOutcome::failed;
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return PrivilegedOutcome::succeeded;
#ifdef __APPLE__
    if (QString::fromUtf8(process.readAllStandardError()).contains(appleScriptUserCancelled))
        return PrivilegedOutcome::cancelled;
#else
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == pkexecDismissed)
        return PrivilegedOutcome::cancelled;
#endif
    return PrivilegedOutcome::failed;
}

void setPrivilegeHelperForTesting(std::optional<QString> program) { helperOverride() = std::move(program); }

} // namespace platform
