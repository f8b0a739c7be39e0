// Any bytes as the agent's output, cut into reads of any size: line assembly,
// event parsing, log entries and the error tail.
#include "agent/agent_event.h"
#include "agent/error_output.h"
#include "agent/line_assembler.h"
#include "fuzz/agent_reads.h"

#include <cstddef>
#include <cstdint>

namespace {

void consumeAll(const QList<QByteArrayView>& lines)
{
    for (const QByteArrayView line : lines)
        if (const std::optional<AgentEvent> event = parseAgentEvent(line))
            (void)logEntry(*event);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LineAssembler lines;
    ErrorOutput errors;
    forEachRead(data, size, [&](QByteArrayView read) {
        consumeAll(lines.feed(read));
        errors.feed(read);
    });
    if (const std::optional<QByteArrayView> last = lines.finish())
        consumeAll({ *last });
    (void)errorTail(errors.finish());
    return 0;
}
