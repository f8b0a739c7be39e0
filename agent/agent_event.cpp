#include "agent/agent_event.h"

#include "agent/agent_contract.h"
#include "agent/grapheme_clusters.h"

#include <QStringBuilder>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

namespace {

constexpr qsizetype maxMessageClusters = 400;

// Takes the event's members from the parser as it meets them, without building
// the document: of the top-level object only "step", "status", "message" and
// "extensionInstalled", each from its last occurrence, as the document would
// hold them. Only what the log shows becomes text.
class EventReader {
public:
    using json = nlohmann::json;

    std::optional<QString> step;
    std::optional<EventStatus> status;
    QString message;
    bool extensionInstalled = false;

    // What the parser reports.
    bool null() { return other(); }
    bool boolean(bool value)
    {
        const bool go = other();
        if (depth == 1 && member == Member::extensionInstalled)
            extensionInstalled = value;
        return go;
    }
    bool number_integer(json::number_integer_t) { return other(); }
    bool number_unsigned(json::number_unsigned_t) { return other(); }
    bool number_float(json::number_float_t, const json::string_t&) { return other(); }
    bool binary(json::binary_t&) { return other(); }
    bool string(json::string_t& value) { return text(value); }
    bool key(json::string_t& name) { return key(std::string_view(name)); }
    bool start_object(std::size_t)
    {
        const bool go = depth == 0 || other();
        ++depth;
        return go;
    }
    bool start_array(std::size_t)
    {
        const bool go = other();
        ++depth;
        return go;
    }
    bool end_object()
    {
        --depth;
        return true;
    }
    bool end_array() { return end_object(); }
    bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

    bool key(std::string_view name)
    {
        if (depth == 1)
            member = name == AgentContract::stepKey            ? Member::step
                : name == AgentContract::statusKey             ? Member::status
                : name == AgentContract::messageKey            ? Member::message
                : name == AgentContract::extensionInstalledKey ? Member::extensionInstalled
                                                               : Member::other;
        return true;
    }
    bool text(std::string_view value)
    {
        const bool go = other();
        if (depth != 1)
            return go;
        const QLatin1String bytes(value.data(), static_cast<qsizetype>(value.size()));
        if (member == Member::step)
            step = QString::fromUtf8(value.data(), bytes.size());
        else if (member == Member::status)
            status = bytes == AgentContract::statusOk ? EventStatus::ok
                : bytes == AgentContract::statusWarn  ? EventStatus::warn
                                                      : EventStatus::failed;
        else if (member == Member::message)
            message = QString::fromUtf8(value.data(), bytes.size());
        return go;
    }

private:
    enum class Member { other, step, status, message, extensionInstalled };
    Member member = Member::other;
    int depth = 0;

    // A value of the member being read, not yet known to be a string: until
    // one follows, the member counts as missing. A value outside any object
    // is no event: reading stops.
    bool other()
    {
        if (depth != 1)
            return depth > 1;
        if (member == Member::step)
            step.reset();
        else if (member == Member::status)
            status.reset();
        else if (member == Member::message)
            message.clear();
        else if (member == Member::extensionInstalled)
            extensionInstalled = false;
        return true;
    }
};

// The shape nearly every line of the agent has, read straight from its bytes:
// one object of string, true and false members, no blanks between them, no
// escapes in the strings. Anything else (false) is left to the general
// parser, so the two agree on every line. The line is valid UTF-8.
bool readPlainObject(QByteArrayView line, EventReader& reader)
{
    const char* at = line.begin();
    const char* const end = line.end();
    const auto next = [&](char expected) { return at != end && *at == expected && ++at; };
    const auto plainString = [&](std::string_view& text) {
        if (!next('"'))
            return false;
        const char* const start = at;
        while (at != end && *at != '"' && *at != '\\' && static_cast<unsigned char>(*at) >= 0x20)
            ++at;
        text = std::string_view(start, static_cast<std::size_t>(at - start));
        return next('"');
    };
    const auto word = [&](std::string_view expected) {
        const bool found = std::string_view(at, static_cast<std::size_t>(end - at)).starts_with(expected);
        at += found ? static_cast<qsizetype>(expected.size()) : 0;
        return found;
    };
    if (!next('{'))
        return false;
    reader.start_object(0);
    do {
        std::string_view name, text;
        if (!plainString(name) || !next(':'))
            return false;
        reader.key(name);
        if (at != end && *at == '"') {
            if (!plainString(text))
                return false;
            reader.text(text);
        } else if (word("true")) {
            reader.boolean(true);
        } else if (word("false")) {
            reader.boolean(false);
        } else {
            return false;
        }
    } while (next(','));
    return next('}') && std::all_of(at, end, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

} // namespace

std::optional<AgentEvent> parseAgentEvent(QByteArrayView line)
{
    EventReader reader;
    if (!readPlainObject(line, reader)) {
        reader = EventReader();
        if (!nlohmann::json::sax_parse(line.begin(), line.end(), &reader))
            return std::nullopt;
    }
    if (!reader.step || !reader.status)
        return std::nullopt;
    return AgentEvent { std::move(*reader.step), *reader.status, std::move(reader.message), reader.extensionInstalled };
}

QString statusMark(EventStatus status)
{
    switch (status) {
    case EventStatus::ok:
        return QStringLiteral("✓");
    case EventStatus::warn:
        return QStringLiteral("!");
    case EventStatus::failed:
        break;
    }
    return QStringLiteral("✗");
}

QString logEntry(const AgentEvent& event)
{
    return statusMark(event.status) % u' ' % event.step % QStringLiteral(": ")
        % firstClusters(event.message, maxMessageClusters);
}
