// Device records made only of 32-bit words, saved and restored whole as one session chunk of
// little-endian words.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "tamsk/board/Session.h"

namespace tamsk {

template <typename Record>
inline void ChunkSaveWords(uint32_t tag, const Record& record) {
    static_assert(std::is_trivially_copyable_v<Record> && sizeof(Record) % 4 == 0);
    uint32_t words[sizeof(Record) / 4];
    std::memcpy(words, &record, sizeof words);
    uint8_t image[sizeof(Record)];
    for (unsigned i = 0; i < sizeof(Record) / 4; ++i) ChunkPut32(image + 4 * i, words[i]);
    SessWriteChunk(tag, image, sizeof image);
}

// The record held by a chunk image of sizeof(Record) bytes.
template <typename Record>
inline void ChunkWordsFrom(const uint8_t* image, Record& record) {
    static_assert(std::is_trivially_copyable_v<Record> && sizeof(Record) % 4 == 0);
    uint32_t words[sizeof(Record) / 4];
    for (unsigned i = 0; i < sizeof(Record) / 4; ++i) words[i] = ChunkGet32(image + 4 * i);
    std::memcpy(&record, words, sizeof words);
}

// False (and the record untouched) when the session has no such chunk of this length.
template <typename Record>
inline bool ChunkRestoreWords(uint32_t tag, Record& record) {
    uint8_t image[sizeof(Record)];
    if (!SessReadChunk(tag, image, sizeof image)) return false;
    ChunkWordsFrom(image, record);
    return true;
}

}  // namespace tamsk
