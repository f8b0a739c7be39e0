#include "agent/line_assembler.h"

#include <utility>

QList<QByteArrayView> LineAssembler::feed(QByteArrayView chunk)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype end = chunk.indexOf('\n'); end >= 0; start = end + 1, end = chunk.indexOf('\n', start)) {
        QByteArrayView line = chunk.sliced(start, end - start);
        if (std::exchange(discarding, false))
            continue;
        if (!pending.isEmpty()) {
            if (pending.size() + line.size() > maxLineBytes) {
                pending.clear();
                continue;
            }
            pending.append(line);
            joined = std::exchange(pending, QByteArray());
            line = joined;
        }
        if (line.size() <= maxLineBytes && line.isValidUtf8())
            lines.append(line);
    }
    const QByteArrayView rest = chunk.sliced(start);
    if (!discarding && pending.size() + rest.size() > maxLineBytes) {
        pending.clear();
        discarding = true;
    } else if (!discarding) {
        pending.append(rest);
    }
    return lines;
}

std::optional<QByteArrayView> LineAssembler::finish()
{
    joined = std::exchange(pending, QByteArray());
    if (std::exchange(discarding, false) || joined.isEmpty() || !QByteArrayView(joined).isValidUtf8())
        return std::nullopt;
    return QByteArrayView(joined);
}
