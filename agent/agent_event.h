#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// How a step of the agent ended, as its "status" member says.
enum class EventStatus { ok, warn, failed };

// One progress event of the agent: a JSON object on one output line. Only
// what the log shows is decoded into text.
struct AgentEvent {
    QString step;
    EventStatus status;
    QString message; // empty when missing or not a string
    bool extensionInstalled; // the member is the JSON value true
};

// Strict JSON (RFC 8259), read from the line's bytes, which are valid UTF-8
// (the line assembler passes no other): the line must be one object, nothing
// after it but white space (a trailing carriage return included), with string
// "step" and "status" members. Anything else is not an event.
std::optional<AgentEvent> parseAgentEvent(QByteArrayView line);

// The log entry of an event: mark, space, step, ": ", the message cut to 400
// user-perceived characters.
QString logEntry(const AgentEvent& event);

// "✓" for "ok", "!" for "warn", "✗" for anything else.
QString statusMark(EventStatus status);
