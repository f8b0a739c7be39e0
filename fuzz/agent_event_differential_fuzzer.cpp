// Any bytes as the agent's output, cut into lines as the agent-output fuzzer cuts them (its corpus serves both):
// every line must read as the same event, or as none, by the program's reader (straight from the bytes for the
// common shape, nlohmann/json's event parser for the rest) and by nlohmann/json's strict parser building the whole
// document. A disagreement is printed and aborts: the fast path took a line the strict parser would not, or read it
// otherwise.
#include "agent/agent_event.h"
#include "agent/line_assembler.h"
#include "fuzz/agent_reads.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

// The event as the line's document holds it, written from the rules of the agent's output rather than from the
// program's reader: an object with string "step" and "status" members.
std::optional<AgentEvent> strictEvent(QByteArrayView line)
{
    const nlohmann::json document = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (!document.is_object())
        return std::nullopt;
    const auto text = [&document](const char* name) -> std::optional<QString> {
        const auto member = document.find(name);
        if (member == document.end() || !member->is_string())
            return std::nullopt;
        const std::string& value = member->get_ref<const std::string&>();
        return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    };
    const std::optional<QString> step = text("step"), status = text("status");
    if (!step || !status)
        return std::nullopt;
    const auto installed = document.find("extensionInstalled");
    return AgentEvent { *step,
        *status == u"ok"         ? EventStatus::ok
            : *status == u"warn" ? EventStatus::warn
                                 : EventStatus::failed,
        text("message").value_or(QString()),
        installed != document.end() && installed->is_boolean() && installed->get<bool>() };
}

QByteArray described(const std::optional<AgentEvent>& event)
{
    if (!event)
        return "no event";
    return (QStringLiteral("step “%1”, status %2, message “%3”, extension %4")
                .arg(event->step)
                .arg(static_cast<int>(event->status))
                .arg(event->message)
                .arg(event->extensionInstalled))
        .toUtf8();
}

void compare(const QList<QByteArrayView>& lines)
{
    for (const QByteArrayView line : lines) {
        const std::optional<AgentEvent> read = parseAgentEvent(line), strict = strictEvent(line);
        const bool agree = read.has_value() == strict.has_value()
            && (!read
                || (read->step == strict->step && read->status == strict->status && read->message == strict->message
                    && read->extensionInstalled == strict->extensionInstalled));
        if (!agree) {
            std::fprintf(stderr, "line %s\n  read as %s\n  strictly %s\n",
                line.toByteArray().toPercentEncoding("{}[]\":, ").data(), described(read).data(),
                described(strict).data());
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LineAssembler lines;
    forEachRead(data, size, [&](QByteArrayView read) { compare(lines.feed(read)); });
    if (const std::optional<QByteArrayView> last = lines.finish())
        compare({ *last });
    return 0;
}
