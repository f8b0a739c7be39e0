#include "agent/error_output.h"

#include "agent/grapheme_clusters.h"

namespace {

constexpr qsizetype tailWindow = 600;
constexpr qsizetype tailShown = 400;

int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1; // ASCII, or a byte that cannot start a sequence
}

// Where an unfinished character at the end of `bytes` begins (bytes.size()
// when the last character is complete).
qsizetype unfinishedStart(const QByteArray& bytes)
{
    const qsizetype lookBack = std::min<qsizetype>(3, bytes.size());
    for (qsizetype i = 1; i <= lookBack; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - i]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        return sequenceLength(byte) > i ? bytes.size() - i : bytes.size();
    }
    return bytes.size();
}

} // namespace

void ErrorOutput::feed(QByteArrayView chunk)
{
    carry.append(chunk);
    const qsizetype complete = unfinishedStart(carry);
    text.append(QString::fromUtf8(QByteArrayView(carry).first(complete)));
    carry.remove(0, complete);
    if (text.size() > maxKeptUnits) {
        qsizetype cut = text.size() - maxKeptUnits;
        if (text.at(cut).isLowSurrogate())
            ++cut; // never start with half a character
        text.remove(0, cut);
    }
}

QString ErrorOutput::finish()
{
    if (!carry.isEmpty()) {
        text.append(QChar::ReplacementCharacter);
        carry.clear();
    }
    return text;
}

QString errorTail(const QString& errorText) { return firstClusters(lastClusters(errorText, tailWindow), tailShown); }
