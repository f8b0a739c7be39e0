#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The agent's standard error, decoded as it arrives. A character split across
// two reads is carried over to the next one; bytes that are not UTF-8 become
// U+FFFD. Only the tail is ever shown, so only the last `maxKeptUnits` UTF-16
// units (about 1 MiB of ASCII output, 2 MiB of memory) are kept, however much a
// runaway agent writes.
class ErrorOutput {
public:
    static constexpr qsizetype maxKeptUnits = 1024 * 1024;

    void feed(QByteArrayView chunk);
    // All that is kept; a character the agent never finished shows as U+FFFD.
    QString finish();

private:
    QByteArray carry; // the start of a character whose rest has not arrived
    QString text;
};

// The part of the error text shown after a failed run: of its last 600
// user-perceived characters, the first 400.
QString errorTail(const QString& errorText);
