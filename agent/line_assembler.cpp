#include "agent/line_assembler.h"

#include <optional>

namespace {

std::optional<QString> decodedLine(QByteArrayView bytes)
{
    if (!isValidUtf8(bytes))
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

} // namespace

QStringList LineAssembler::feed(QByteArrayView chunk)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < chunk.size()) {
        const qsizetype feedAt = chunk.indexOf('\n', start);
        const QByteArrayView piece = chunk.sliced(start, (feedAt < 0 ? chunk.size() : feedAt) - start);
        if (!discarding) {
            if (pending.size() + piece.size() > maxLineBytes) {
                pending.clear();
                discarding = true;
            } else {
                pending.append(piece);
            }
        }
        if (feedAt < 0)
            break;
        if (!discarding) {
            if (std::optional<QString> line = decodedLine(pending))
                lines.append(std::move(*line));
        }
        pending.clear();
        discarding = false;
        start = feedAt + 1;
    }
    return lines;
}

std::optional<QString> LineAssembler::finish()
{
    const bool usable = !discarding && !pending.isEmpty();
    std::optional<QString> line = usable ? decodedLine(pending) : std::nullopt;
    pending.clear();
    discarding = false;
    return line;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // overlong
            if (lead == 0xED)
                high = 0x9F; // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90; // overlong
            if (lead == 0xF4)
                high = 0x8F; // past U+10FFFF
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += length;
    }
    return true;
}
