// What the data buffer and hex view tests share: a test pattern, loading
// bytes through a stream the way a chip read does, and the marked offsets.
#pragma once

#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <gtest/gtest.h>

#include "DataBuffer.h"

// Bytes that are never 0x00 or 0xFF and differ from block to block.
inline QByteArray Pattern(qsizetype size, int seed = 0) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype offset = 0; offset < size; ++offset) {
        bytes[offset] = static_cast<char>(0x11 + (offset * 7 + (offset >> 11) + seed * 31) % 0xEE);
    }
    return bytes;
}

// Loads the bytes into a DataBuffer or a HexView from a fresh stream.
template <typename Target>
void LoadBytes(Target &target, const QByteArray &bytes) {
    QBuffer stream;
    stream.setData(bytes);
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    target.LoadBufferFromStream(stream);
}

inline std::vector<qsizetype> MarkedOffsets(const DataBuffer &buffer) {
    std::vector<qsizetype> marked;
    for (qsizetype offset = 0; offset < buffer.Size(); ++offset) {
        if (buffer.IsChanged(offset)) {
            marked.push_back(offset);
        }
    }
    return marked;
}
