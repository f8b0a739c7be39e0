#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// Turns the agent's standard output, read in chunks of any size, into lines.
// Lines are split on the 0x0A byte and stay bytes, so a character that a read
// splits in two stays whole and nothing is decoded that is not shown. A line
// that is not valid UTF-8 is dropped.
class LineAssembler {
public:
    // A pending line longer than this without a line feed is no event: it is
    // dropped up to its line feed, so a runaway agent cannot fill memory.
    static constexpr qsizetype maxLineBytes = 1024 * 1024;

    // The complete lines in `chunk` (and what came before it), in order, without
    // their line feeds; a carriage return before the line feed stays. They lie
    // in `chunk` and in the assembler: read them before either changes.
    QList<QByteArrayView> feed(QByteArrayView chunk);

    // What followed the last line feed, once the output has ended; none when
    // it is empty, too long or not valid UTF-8.
    std::optional<QByteArrayView> finish();

private:
    QByteArray pending; // the start of a line that no chunk has ended yet
    QByteArray joined; // a line begun in an earlier chunk, once it has ended
    bool discarding = false; // dropping the rest of an over-long line
};
