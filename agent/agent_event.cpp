#include "agent/agent_event.h"

#include "agent/agent_contract.h"
#include "agent/grapheme_clusters.h"

#include <nlohmann/json.hpp>

namespace {

constexpr qsizetype maxMessageClusters = 400;

std::optional<QString> stringMember(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    const std::string& value = found->get_ref<const std::string&>();
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

} // namespace

std::optional<AgentEvent> parseAgentEvent(const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    // No exceptions: a line that is not JSON comes back as a discarded value.
    const nlohmann::json parsed = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!parsed.is_object())
        return std::nullopt;
    std::optional<QString> step = stringMember(parsed, AgentContract::stepKey);
    std::optional<QString> status = stringMember(parsed, AgentContract::statusKey);
    if (!step || !status)
        return std::nullopt;
    const auto extension = parsed.find(AgentContract::extensionInstalledKey);
    return AgentEvent {
        std::move(*step),
        std::move(*status),
        stringMember(parsed, AgentContract::messageKey).value_or(QString()),
        extension != parsed.end() && extension->is_boolean() && extension->get<bool>(),
    };
}

QString statusMark(const QString& status)
{
    if (status == AgentContract::statusOk)
        return QStringLiteral("✓");
    if (status == AgentContract::statusWarn)
        return QStringLiteral("!");
    return QStringLiteral("✗");
}

QString logEntry(const AgentEvent& event)
{
    return statusMark(event.status) + u' ' + event.step + QStringLiteral(": ")
        + firstClusters(event.message, maxMessageClusters);
}
