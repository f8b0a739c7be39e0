#pragma once

#include <QString>
#include <optional>

// Writes one progress event as a JSON line on standard output.
void writeEvent(const QString& step, const QString& status, const QString& message,
    std::optional<bool> extensionInstalled = std::nullopt);

// Writes a line on standard error.
void writeError(const QString& message);
