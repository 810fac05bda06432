// Device memory over the debugger's memory commands (read 1 and write 2) on the socket of remote
// calls, in blocks of at most 256 bytes, with a read cache of 1024 lines of 256 bytes in front of
// the reads. Every remote call that can change device memory, and every write, clears the cache.
#pragma once

#include <cstdint>

#include "common/Status.h"

namespace quillwatch {

using vantor::Status;

constexpr uint32_t remoteCacheLines = 1024;
constexpr uint32_t remoteCacheLineSize = 256;
// Reads of this many bytes or more bypass the cache.
constexpr uint32_t remoteCacheBypass = 0x40000;

// Adds (true) or removes (false) one hold; while held, clearing requests are ignored.
void RemoteCacheHold(bool hold);
// Empties the cache unless it is held.
void RemoteCacheClear();
// 0 when the device answers a one-byte read within 500 ms, else the link status or slkErrResponse.
Status RemoteLinkCheck();
// Reads and writes device memory; failures are thrown with ErrThrow.
Status RemoteReadMem(uint32_t address, uint32_t count, void* destination);
void RemoteWriteMem(const void* source, uint32_t address, uint32_t count);
// Reads through the cache. Only bytes that the device reports readable are copied: a range that
// runs past them leaves the rest of the destination as it was and answers slkErrResponse. Link
// failures are thrown.
Status RemoteReadCached(void* destination, uint32_t address, uint32_t count);
// Clears the cache, then writes.
void RemoteWriteCached(uint32_t address, const void* source, uint32_t count);
// The u32 at the address, big-endian on the device, read through the cache; a short read throws.
uint32_t RemoteReadLong(uint32_t address);

// What the cache holds (for tests and statistics): valid lines and their bases.
uint32_t RemoteCacheValidLines();
bool RemoteCacheHolds(uint32_t address);

}  // namespace quillwatch
