#include "agent/error_output.h"

#include "agent/grapheme_clusters.h"

namespace {

constexpr qsizetype tailWindow = 600;
constexpr qsizetype tailShown = 400;

} // namespace

void ErrorOutput::feed(QByteArrayView chunk)
{
    text.append(decoder(chunk));
    if (text.size() > maxKeptUnits) {
        qsizetype cut = text.size() - maxKeptUnits;
        if (text.at(cut).isLowSurrogate())
            ++cut; // never start with half a character
        text.remove(0, cut);
    }
}

QString errorTail(const QString& errorText) { return firstClusters(lastClusters(errorText, tailWindow), tailShown); }
