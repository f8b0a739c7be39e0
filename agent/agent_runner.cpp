#include "agent/agent_contract.h"
#include "agent/agent_environment.h"
#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "setup/setup_controller.h"

#include <QProcess>

// What one agent run owns: it lives as long as the run's callbacks.
struct AgentRunState {
    QStringList arguments;
    SetupController::RunCompletion completion;
    LineAssembler output;
    ErrorOutput errors;
};

namespace {

const QString launchFailed = QStringLiteral("error: could not start the agent binary");

} // namespace

void SetupController::run(const QString& bin, const QStringList& args, RunCompletion completion)
{
    if (child)
        return;
    setBusy(true);

    auto* process = new QProcess(this);
    process->setProgram(bin); // executed directly, never through a shell
    process->setArguments(args);
    process->setProcessEnvironment(agentEnvironment());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    childSucceeded = false;
    extensionInstalled = false;

    auto run = std::make_shared<AgentRunState>();
    run->arguments = args;
    run->completion = std::move(completion);

    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, run] {
        const QByteArray chunk = process->readAllStandardOutput(); // the lines lie in it
        consumeBatch(run->output.feed(chunk));
    });
    connect(process, &QProcess::readyReadStandardError, this,
        [process, run] { run->errors.feed(process->readAllStandardError()); });
    // Emitted when the child exits, even while a grandchild still holds its
    // pipes; what was readable by then has been delivered already.
    connect(process, &QProcess::finished, this, [this, process, run] { finishAgentRun(process, run); });

    process->start(QIODevice::ReadWrite);
    if (!process->waitForStarted(-1)) {
        process->disconnect(this);
        process->deleteLater();
        child = nullptr;
        setBusy(false);
        append(launchFailed);
        run->completion(false);
        return;
    }
    child = process;
    // The agent reads end of file at once; nothing is ever written to it.
    process->closeWriteChannel();
}

void SetupController::finishAgentRun(QProcess* process, const std::shared_ptr<AgentRunState>& run)
{
    // Anything left in the pipes now belongs to no run.
    process->disconnect(this);

    if (const std::optional<QByteArrayView> last = run->output.finish())
        consumeBatch({ *last });
    const bool exitedCleanly = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    if (!exitedCleanly) {
        const QString errorText = run->errors.finish();
        if (!errorText.isEmpty())
            append(QStringLiteral("error: ") + errorTail(errorText));
    }
    const bool isUninstall = !run->arguments.isEmpty() && run->arguments.first() == AgentContract::uninstallSwitch;
    const bool succeeded = exitedCleanly && (childSucceeded || isUninstall);

    child = nullptr;
    process->deleteLater();
    setBusy(false);
    run->completion(succeeded);
}
