// Any bytes as the agent's output, cut into reads of any size: line assembly,
// event parsing, log entries and the error tail.
#include "agent/agent_event.h"
#include "agent/error_output.h"
#include "agent/line_assembler.h"

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
    if (size == 0)
        return 0;
    // The first byte chooses how the rest is cut into reads.
    const size_t readSize = 1 + data[0] % 64;
    const QByteArrayView output(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    LineAssembler lines;
    ErrorOutput errors;
    for (qsizetype at = 0; at < output.size(); at += static_cast<qsizetype>(readSize)) {
        const QByteArrayView read
            = output.sliced(at, std::min<qsizetype>(static_cast<qsizetype>(readSize), output.size() - at));
        consumeAll(lines.feed(read));
        errors.feed(read);
    }
    if (const std::optional<QByteArrayView> last = lines.finish())
        consumeAll({ *last });
    (void)errorTail(errors.finish());
    return 0;
}
