#pragma once

// The agent's output as the fuzzers make it from their bytes: the first byte
// chooses how the rest is cut into reads, which are handed over in turn.
#include <QByteArrayView>

#include <algorithm>
#include <cstddef>
#include <cstdint>

template <typename Read> void forEachRead(const uint8_t* data, size_t size, Read read)
{
    if (size == 0)
        return;
    const auto readSize = static_cast<qsizetype>(1 + data[0] % 64);
    const QByteArrayView output(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    for (qsizetype at = 0; at < output.size(); at += readSize)
        read(output.sliced(at, std::min(readSize, output.size() - at)));
}
