#include "agent/agent_contract.h"
#include "agent/agent_event.h"
#include "setup/setup_controller.h"

void SetupController::consume(QByteArrayView line)
{
    const std::optional<AgentEvent> event = parseAgentEvent(line);
    if (!event)
        return;
    append(logEntry(*event));
    if (event->status != EventStatus::ok)
        return;
    if (event->step == AgentContract::registerStep)
        repairAvailable = true;
    if (event->step == AgentContract::doneStep) {
        childSucceeded = true;
        extensionInstalled = event->extensionInstalled;
    }
}
