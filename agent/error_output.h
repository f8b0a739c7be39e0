#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// The agent's standard error, decoded as it arrives. A character split across
// two reads is carried over to the next one; bytes that are not UTF-8 become
// U+FFFD, and a character the agent never finished is left out. Only the tail
// is ever shown, so only the last `maxKeptUnits` UTF-16 units (about 1 MiB of
// ASCII output, 2 MiB of memory) are kept, however much a runaway agent writes.
class ErrorOutput {
public:
    static constexpr qsizetype maxKeptUnits = 1024 * 1024;

    void feed(QByteArrayView chunk);
    // All that is kept.
    QString finish() const { return text; }

private:
    QStringDecoder decoder { QStringDecoder::Utf8 };
    QString text;
};

// The part of the error text shown after a failed run: of its last 600
// user-perceived characters, the first 400.
QString errorTail(const QString& errorText);
