#include "tamsk/board/Session.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

// Inflates into [out, out + length) from at most `left` more bytes of input; true when it is filled.
bool InflateInto(z_stream& z, uint8_t* out, uint32_t length, uint32_t& left, uint8_t* in, FILE* file, int& rc) {
    z.next_out = out;
    z.avail_out = length;
    while (z.avail_out > 0 && rc == Z_OK) {
        if (z.avail_in == 0) {
            if (left == 0) break;
            const size_t want = left < kPiece ? left : kPiece;
            const size_t got = std::fread(in, 1, want, file);
            if (got == 0) break;
            left -= uint32_t(got);
            z.next_in = in;
            z.avail_in = uInt(got);
        }
        rc = inflate(&z, Z_NO_FLUSH);
    }
    return z.avail_out == 0 && (rc == Z_OK || rc == Z_STREAM_END);
}

// Inflates at most `packed` bytes of input into data; true exactly when data is filled.
bool SessInflate(void* data, uint32_t length, uint32_t packed, FILE* file) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    auto in = std::make_unique<uint8_t[]>(kPiece);
    int rc = Z_OK;
    const bool filled = InflateInto(z, static_cast<uint8_t*>(data), length, packed, in.get(), file, rc);
    inflateEnd(&z);
    return filled;
}

// As SessInflate, a piece at a time into `sink`.
bool SessInflatePieces(uint32_t length, uint32_t piece, uint32_t packed, FILE* file, const SessPieceSink& sink) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    auto in = std::make_unique<uint8_t[]>(kPiece);
    auto out = std::make_unique<uint8_t[]>(piece);
    int rc = Z_OK;
    uint32_t done = 0;
    while (done < length) {
        const uint32_t n = std::min(piece, length - done);
        if (!InflateInto(z, out.get(), n, packed, in.get(), file, rc)) break;
        sink(done, out.get(), n);
        done += n;
    }
    inflateEnd(&z);
    return done == length;
}

// Raw deflate of data with a full flush at its end: the output is byte-aligned and refers to nothing
// before it, so it can stand anywhere in a stream. Appends to out; false on failure.
bool DeflateFlushed(z_stream& z, const uint8_t* data, uint32_t length, int flush, std::vector<uint8_t>& out) {
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = length;
    uint8_t buffer[kPiece];
    int rc;
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) return false;
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    } while (flush == Z_FINISH ? rc != Z_STREAM_END : z.avail_out == 0);
    return true;
}

// The chunk of SessWriteChunkPieces: a zlib header, raw deflate pieces each ending in a full flush
// (the compressed piece of fill bytes is made once and repeated), a final empty block and the
// Adler-32 of the whole.
long SessDeflatePieces(uint32_t length, uint32_t piece, uint8_t fill, const SessPieceSource& source, FILE* file) {
    const auto filled = std::make_unique<uint8_t[]>(piece);
    std::memset(filled.get(), fill, piece);
    std::vector<uint8_t> fillPacked, out = {0x78, 0x01};  // deflate, 32 KB window, fastest
    z_stream z{}, once{};
    if (deflateInit2(&once, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
    bool ok = DeflateFlushed(once, filled.get(), piece, Z_FULL_FLUSH, fillPacked);
    deflateEnd(&once);
    if (!ok || deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
    const uLong fillAdler = adler32(adler32(0, nullptr, 0), filled.get(), piece);
    uLong adler = adler32(0, nullptr, 0);
    long written = 0;
    for (uint32_t offset = 0; ok && offset < length; offset += std::min(piece, length - offset)) {
        const uint32_t n = std::min(piece, length - offset);
        const uint8_t* data = source(offset);
        if (!data && n == piece) {
            out.insert(out.end(), fillPacked.begin(), fillPacked.end());
            adler = adler32_combine(adler, fillAdler, n);
        } else {
            if (!data) data = filled.get();
            adler = adler32(adler, data, n);
            ok = DeflateFlushed(z, data, n, Z_FULL_FLUSH, out);
        }
        if (out.size() >= kPiece || !ok) {
            ok = ok && std::fwrite(out.data(), 1, out.size(), file) == out.size();
            written += long(out.size());
            out.clear();
        }
    }
    ok = ok && DeflateFlushed(z, nullptr, 0, Z_FINISH, out);
    deflateEnd(&z);
    for (int k = 3; k >= 0; --k) out.push_back(uint8_t(adler >> (8 * k)));
    ok = ok && std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return ok ? written + long(out.size()) : -1;
}

// Appends one chunk whose body `deflate` writes and returns the compressed length of (-1: failure).
bool WriteChunk(uint32_t tag, uint32_t length, const std::function<long(FILE*)>& deflate) {
    if (g_saving && g_saveFailed) return false;
    FILE* file = std::fopen(WritePath(), "r+b");
    bool ok = file != nullptr;
    if (ok) {
        uint8_t header[kChunkHeaderSize];
        ok = std::fseek(file, 0, SEEK_END) == 0;
        const long start = ok ? std::ftell(file) : -1;
        MakeHeader(header, tag, length, 0);
        ok = ok && start >= 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
        const long packed = ok ? deflate(file) : -1;
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

// Opens the session file at the chunk with this tag and length and hands it to `read` with its
// compressed length; false when there is none.
bool ReadChunk(uint32_t tag, uint32_t length, const std::function<bool(FILE*, uint32_t)>& read) {
    FILE* file = std::fopen(SessPath, "rb");
    if (!file) return false;
    bool found = false;
    uint8_t header[kChunkHeaderSize];
    while (std::fread(header, 1, sizeof header, file) == sizeof header) {
        const uint32_t packed = ChunkGet32(header + 8);
        if (ChunkGet32(header) == tag && ChunkGet32(header + 4) == length) {
            found = read(file, packed);
            break;
        }
        const uint64_t skip = (uint64_t(packed) + 15) & ~uint64_t(15);
        if (std::fseek(file, long(skip), SEEK_CUR) != 0) break;
    }
    std::fclose(file);
    return found;
}

std::vector<SessChunkRule>& Rules() {
    static std::vector<SessChunkRule> rules;
    return rules;
}

// Inflates the chunk body at the file's position, at most `packed` bytes of input, to its end;
// true when the stream ends after exactly `length` bytes. The output goes to `out` when given.
bool ChunkWhole(FILE* file, uint32_t length, uint32_t packed, uint8_t* out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    auto in = std::make_unique<uint8_t[]>(kPiece);
    auto scratch = std::make_unique<uint8_t[]>(kPiece);
    uint64_t done = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            const size_t got = packed ? std::fread(in.get(), 1, std::min<size_t>(packed, kPiece), file) : 0;
            if (got == 0) break;
            packed -= uint32_t(got);
            z.next_in = in.get();
            z.avail_in = uInt(got);
        }
        // Past the length the output goes to the scratch buffer, only to be counted.
        uint8_t* to = out && done < length ? out + done : scratch.get();
        const uInt room = out && done < length ? uInt(std::min<uint64_t>(length - done, kPiece)) : uInt(kPiece);
        z.next_out = to;
        z.avail_out = room;
        rc = inflate(&z, Z_NO_FLUSH);
        done += room - z.avail_out;
        if (done > length || rc == Z_BUF_ERROR) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END && done == length;
}

std::string TagText(uint32_t tag) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(tag >> shift);
        if (c < 0x21 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", tag);
            return hex;
        }
        text += c;
    }
    return text;
}

}  // namespace

bool SessAddRule(const SessChunkRule& rule) {
    Rules().push_back(rule);
    return true;
}

std::string SessCheck(const char* path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    struct stat st;
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) return "it cannot be read";
    const uint64_t size = uint64_t(st.st_size);
    const std::vector<SessChunkRule>& rules = Rules();
    std::vector<bool> met(rules.size(), false);
    char text[128];
    for (uint64_t at = 0; at < size;) {
        uint8_t header[kChunkHeaderSize];
        if (size - at < kChunkHeaderSize || std::fseek(file.get(), long(at), SEEK_SET) != 0 ||
            std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
            std::snprintf(text, sizeof text, "it ends inside a chunk header at offset %llu", (unsigned long long)at);
            return text;
        }
        const uint32_t tag = ChunkGet32(header), length = ChunkGet32(header + 4), packed = ChunkGet32(header + 8);
        // A restore reads the first chunk of a tag and length: its rule applies to that one.
        const SessChunkRule* rule = nullptr;
        for (size_t i = 0; i < rules.size() && !rule; ++i)
            if (!met[i] && rules[i].tag == tag && rules[i].length == length) {
                met[i] = true;
                rule = &rules[i];
            }
        std::vector<uint8_t> data(rule && rule->sound ? length : 0);
        if (size - at - kChunkHeaderSize < packed ||
            !ChunkWhole(file.get(), length, packed, data.empty() ? nullptr : data.data())) {
            std::snprintf(text, sizeof text, "its chunk %s at offset %llu is damaged", TagText(tag).c_str(),
                          (unsigned long long)at);
            return text;
        }
        if (rule && rule->sound && !rule->sound(data.data())) {
            std::snprintf(text, sizeof text, "its chunk %s holds values this emulator cannot take",
                          TagText(tag).c_str());
            return text;
        }
        at += kChunkHeaderSize + ((uint64_t(packed) + 15) & ~uint64_t(15));
    }
    for (size_t i = 0; i < rules.size(); ++i)
        if (rules[i].required && !met[i]) {
            std::snprintf(text, sizeof text, "it has no chunk %s of %u bytes", TagText(rules[i].tag).c_str(),
                          rules[i].length);
            return text;
        }
    return "";
}

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
    return WriteChunk(tag, length, [&](FILE* file) { return SessDeflate(data, length, file); });
}

bool SessWriteChunkPieces(uint32_t tag, uint32_t length, uint32_t piece, uint8_t fill,
                          const SessPieceSource& source) {
    return WriteChunk(tag, length,
                      [&](FILE* file) { return SessDeflatePieces(length, piece, fill, source, file); });
}

bool SessReadChunk(uint32_t tag, void* data, uint32_t length) {
    return ReadChunk(tag, length, [&](FILE* file, uint32_t packed) { return SessInflate(data, length, packed, file); });
}

bool SessReadChunkPieces(uint32_t tag, uint32_t length, uint32_t piece, const SessPieceSink& sink) {
    return ReadChunk(tag, length, [&](FILE* file, uint32_t packed) {
        return SessInflatePieces(length, piece, packed, file, sink);
    });
}

bool SessReadChunkKeep(uint32_t tag, void* data, uint32_t length) {
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[length ? length : 1]);
    if (!scratch) HostFatal("Memory allocation failure");
    if (!SessReadChunk(tag, scratch.get(), length)) return false;
    std::memcpy(data, scratch.get(), length);
    return true;
}

}  // namespace tamsk
