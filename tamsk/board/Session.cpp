#include "tamsk/board/Session.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "standin/win32/MessageBox.h"
#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"

namespace tamsk {

char SessPath[kSessionPathSize];

namespace {

constexpr size_t kPiece = 16 * 1024;

// While a save is in progress, chunks go to this file; it replaces SessPath at the end.
std::string g_savePath;
bool g_saving = false;
bool g_saveFailed = false;

const char* WritePath() { return g_saving ? g_savePath.c_str() : SessPath; }

void MakeHeader(uint8_t header[kChunkHeaderSize], uint32_t tag, uint32_t length, uint32_t packed) {
    ChunkPut32(header, tag);
    ChunkPut32(header + 4, length);
    ChunkPut32(header + 8, packed);
    ChunkPut32(header + 12, 0);
}

// One deflate stream over the whole block; returns the bytes written, or -1 on failure.
long SessDeflate(const void* data, uint32_t length, FILE* file) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z.avail_in = length;
    auto out = std::make_unique<uint8_t[]>(kPiece);
    long written = 0;
    int rc;
    do {
        z.next_out = out.get();
        z.avail_out = kPiece;
        rc = deflate(&z, Z_FINISH);
        if (rc == Z_STREAM_ERROR) break;
        const size_t n = kPiece - z.avail_out;
        if (n && std::fwrite(out.get(), 1, n, file) != n) {
            rc = Z_STREAM_ERROR;
            break;
        }
        written += long(n);
    } while (rc != Z_STREAM_END);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? written : -1;
}

// Inflates at most `packed` bytes of input into data; true exactly when data is filled.
bool SessInflate(void* data, uint32_t length, uint32_t packed, FILE* file) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    auto in = std::make_unique<uint8_t[]>(kPiece);
    z.next_out = static_cast<Bytef*>(data);
    z.avail_out = length;
    uint32_t left = packed;
    int rc = Z_OK;
    while (z.avail_out > 0 && rc == Z_OK) {
        if (z.avail_in == 0) {
            if (left == 0) break;
            const size_t want = left < kPiece ? left : kPiece;
            const size_t got = std::fread(in.get(), 1, want, file);
            if (got == 0) break;
            left -= uint32_t(got);
            z.next_in = in.get();
            z.avail_in = uInt(got);
        }
        rc = inflate(&z, Z_NO_FLUSH);
    }
    const bool filled = z.avail_out == 0 && (rc == Z_OK || rc == Z_STREAM_END);
    inflateEnd(&z);
    return filled;
}

}  // namespace

void SessSetPath(const char* path) { std::snprintf(SessPath, sizeof SessPath, "%s", path ? path : ""); }

void SessSetPathFromState(int32_t code) {
    if (code == kRunPowerOnRestore) SessSetPath(Opt.State);
}

void SessTruncate() {
    g_savePath = std::string(SessPath) + ".saving";
    g_saving = true;
    FILE* file = std::fopen(g_savePath.c_str(), "wb");
    g_saveFailed = !file || std::fclose(file) != 0;
}

bool SessFinishSave() {
    if (!g_saving) return true;
    g_saving = false;
    if (!g_saveFailed && std::rename(g_savePath.c_str(), SessPath) == 0) return true;
    std::remove(g_savePath.c_str());
    char text[kSessionPathSize + 128];
    std::snprintf(text, sizeof text, "The session could not be saved to %s", SessPath);
    win32::MessageBox(nullptr, text, "Save State", win32::MB_OK | win32::MB_ICONWARNING);
    return false;
}

bool SessWriteChunk(uint32_t tag, const void* data, uint32_t length) {
    if (g_saving && g_saveFailed) return false;
    FILE* file = std::fopen(WritePath(), "r+b");
    bool ok = file != nullptr;
    if (ok) {
        uint8_t header[kChunkHeaderSize];
        ok = std::fseek(file, 0, SEEK_END) == 0;
        const long start = ok ? std::ftell(file) : -1;
        MakeHeader(header, tag, length, 0);
        ok = ok && start >= 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
        const long packed = ok ? SessDeflate(data, length, file) : -1;
        ok = ok && packed >= 0;
        static const uint8_t zeros[16] = {};
        const long end = start + long(kChunkHeaderSize) + packed;
        const size_t fill = size_t((16 - (end & 15)) & 15);
        ok = ok && (fill == 0 || std::fwrite(zeros, 1, fill, file) == fill);
        MakeHeader(header, tag, length, uint32_t(packed));
        ok = ok && std::fseek(file, start, SEEK_SET) == 0 &&
             std::fwrite(header, 1, sizeof header, file) == sizeof header;
        ok = (std::fclose(file) == 0) && ok;
    }
    if (!ok && g_saving) g_saveFailed = true;
    return ok;
}

bool SessReadChunk(uint32_t tag, void* data, uint32_t length) {
    FILE* file = std::fopen(SessPath, "rb");
    if (!file) return false;
    bool found = false;
    uint8_t header[kChunkHeaderSize];
    while (std::fread(header, 1, sizeof header, file) == sizeof header) {
        const uint32_t packed = ChunkGet32(header + 8);
        if (ChunkGet32(header) == tag && ChunkGet32(header + 4) == length) {
            found = SessInflate(data, length, packed, file);
            break;
        }
        const uint64_t skip = (uint64_t(packed) + 15) & ~uint64_t(15);
        if (std::fseek(file, long(skip), SEEK_CUR) != 0) break;
    }
    std::fclose(file);
    return found;
}

bool SessReadChunkKeep(uint32_t tag, void* data, uint32_t length) {
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[length ? length : 1]);
    if (!scratch) HostFatal("Memory allocation failure");
    if (!SessReadChunk(tag, scratch.get(), length)) return false;
    std::memcpy(data, scratch.get(), length);
    return true;
}

}  // namespace tamsk
