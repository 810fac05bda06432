// Session files: a flat sequence of zlib-compressed chunks, each found again by its tag and its
// exact uncompressed length.
//
// Chunk layout (little-endian): u32 tag (first character in the high byte), u32 uncompressed
// length, u32 compressed length, u32 zero, then one zlib stream (level 1, 15-bit window, memory
// level 8), then zero bytes up to the next multiple of 16 from the start of the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/FourCC.h"

namespace tamsk {

using vantor::FourCC;

constexpr unsigned kSessionPathSize = 260;
constexpr uint32_t kChunkHeaderSize = 16;

// The session file used by every chunk read and write.
extern char SessPath[kSessionPathSize];
void SessSetPath(const char* path);
// On code 6 the State option names the session.
void SessSetPathFromState(int32_t code);

// Starts a save: the chunks that follow go to a new file that replaces the session file only when
// the whole save has succeeded (SessFinishSave), so a failed save leaves no half-written session.
void SessTruncate();
// Ends a save: on success the new file takes the session path; on failure it is removed and the
// failure reported. Returns true on success.
bool SessFinishSave();

// Appends one chunk; returns false when the file cannot be opened or written.
bool SessWriteChunk(uint32_t tag, const void* data, uint32_t length);
// Finds the chunk with this tag and exactly this length and inflates it into data; true only when
// it filled data completely. On failure data may hold part of the chunk: callers whose fallback
// keeps the old contents read into a scratch buffer first (SessReadChunkKeep).
bool SessReadChunk(uint32_t tag, void* data, uint32_t length);
// As SessReadChunk, but data changes only on success.
bool SessReadChunkKeep(uint32_t tag, void* data, uint32_t length);

// A large chunk given and taken a piece at a time, so that neither side needs it whole in memory.
// The pieces are `piece` bytes long (the last one may be shorter). On a save `source(offset)`
// gives the piece at offset, or null for a piece whose bytes are all `fill`: such pieces are
// compressed once per save, not once each. The file holds one ordinary chunk.
using SessPieceSource = std::function<const uint8_t*(uint32_t offset)>;
bool SessWriteChunkPieces(uint32_t tag, uint32_t length, uint32_t piece, uint8_t fill,
                          const SessPieceSource& source);
// On a restore `sink(offset, data, size)` takes each piece as it is inflated; true only when the
// chunk filled all `length` bytes (the sink may have taken some pieces of a chunk that fails).
using SessPieceSink = std::function<void(uint32_t offset, const uint8_t* data, uint32_t size)>;
bool SessReadChunkPieces(uint32_t tag, uint32_t length, uint32_t piece, const SessPieceSink& sink);

// What a restore asks of one chunk (the chunk with this tag and exactly this length). Devices
// whose restore cannot go on without their chunk, or cannot take every content, say so here, so
// that a session can be checked whole before any of it is applied.
struct SessChunkRule {
    uint32_t tag;
    uint32_t length;
    bool required;                       // a session without it cannot be restored
    bool (*sound)(const uint8_t* data);  // null: any content will do
};
// Adds a rule; returns true, so that a device can add its rule from a static initialiser.
bool SessAddRule(const SessChunkRule& rule);
// Checks the session file at `path` without applying any of it: every chunk must be whole (a
// header, and a zlib stream that inflates to exactly its length within the file) and every rule
// must hold. Empty when the session can be restored; otherwise what is wrong with it.
std::string SessCheck(const char* path);

// Little-endian values of chunk images (and of other little-endian records in guest memory).
inline void ChunkPut16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline uint16_t ChunkGet16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void ChunkPut32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint32_t ChunkGet32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void ChunkPut64(uint8_t* p, uint64_t v) {
    ChunkPut32(p, uint32_t(v));
    ChunkPut32(p + 4, uint32_t(v >> 32));
}
inline uint64_t ChunkGet64(const uint8_t* p) { return ChunkGet32(p) | uint64_t(ChunkGet32(p + 4)) << 32; }

// Every device's save operation, in the save order (the interrupt controller and the core are
// saved by the run loop after it).
void SessSaveAll(int32_t code);

}  // namespace tamsk
