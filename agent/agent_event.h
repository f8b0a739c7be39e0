#pragma once

#include <QString>
#include <optional>

// One progress event of the agent: a JSON object on one output line.
struct AgentEvent {
    QString step;
    QString status;
    QString message; // empty when missing or not a string
    bool extensionInstalled; // the member is the JSON value true
};

// Strict JSON (RFC 8259): the line must be one object, nothing after it but
// white space (a trailing carriage return included), with string "step" and
// "status" members. Anything else is not an event.
std::optional<AgentEvent> parseAgentEvent(const QString& line);

// The log entry of an event: mark, space, step, ": ", the message cut to 400
// user-perceived characters.
QString logEntry(const AgentEvent& event);

// "✓" for "ok", "!" for "warn", "✗" for anything else.
QString statusMark(const QString& status);
