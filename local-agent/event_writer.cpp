#include "local-agent/event_writer.h"

#include <nlohmann/json.hpp>

#include <cstdio>

void writeEvent(
    const QString& step, const QString& status, const QString& message, std::optional<bool> extensionInstalled)
{
    nlohmann::json event = {
        { "step", step.toStdString() },
        { "status", status.toStdString() },
        { "message", message.toStdString() },
    };
    if (extensionInstalled)
        event["extensionInstalled"] = *extensionInstalled;
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void writeError(const QString& message)
{
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}
