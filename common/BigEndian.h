// Big-endian (device byte order) access.
//
// Records that travel to or from a device, 68K code or a file are big-endian; the hosts are
// little-endian. Read and write fields through these helpers, field by field, never by casting a
// buffer to a struct.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantor {

static_assert(std::endian::native == std::endian::little, "the hosts are little-endian");

// Byte-order swaps: converting between host and device order is the same operation both ways.
constexpr uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
constexpr uint32_t Swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// Reads from a byte buffer.
inline uint8_t ReadBE8(const void* p) { return *static_cast<const uint8_t*>(p); }
inline uint16_t ReadBE16(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
inline uint32_t ReadBE32(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// Writes into a byte buffer.
inline void WriteBE8(void* p, uint8_t v) { *static_cast<uint8_t*>(p) = v; }
inline void WriteBE16(void* p, uint16_t v) {
    auto* b = static_cast<uint8_t*>(p);
    b[0] = static_cast<uint8_t>(v >> 8);
    b[1] = static_cast<uint8_t>(v);
}
inline void WriteBE32(void* p, uint32_t v) {
    auto* b = static_cast<uint8_t*>(p);
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

// In-place conversion of a field between host and device order (memory may be unaligned).
inline void SwapInPlace16(void* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    v = Swap16(v);
    std::memcpy(p, &v, 2);
}
inline void SwapInPlace32(void* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    v = Swap32(v);
    std::memcpy(p, &v, 4);
}
// Copy of a field from one record to another, converted between host and device order on the way.
inline void MoveSwapped16(void* to, const void* from) {
    uint16_t v;
    std::memcpy(&v, from, 2);
    v = Swap16(v);
    std::memcpy(to, &v, 2);
}
inline void MoveSwapped32(void* to, const void* from) {
    uint32_t v;
    std::memcpy(&v, from, 4);
    v = Swap32(v);
    std::memcpy(to, &v, 4);
}
template <typename T>
inline void SwapField(T& field) {
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4);
    if constexpr (sizeof(T) == 2) SwapInPlace16(&field);
    if constexpr (sizeof(T) == 4) SwapInPlace32(&field);
}

// Bounded sequential reader of a big-endian buffer. A read past the end yields 0 and clears ok();
// callers check ok() once after reading a whole record.
class BEReader {
public:
    BEReader(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint8_t U8() { return Take(1) ? ReadBE8(p_ + pos_ - 1) : 0; }
    uint16_t U16() { return Take(2) ? ReadBE16(p_ + pos_ - 2) : 0; }
    uint32_t U32() { return Take(4) ? ReadBE32(p_ + pos_ - 4) : 0; }
    bool Bytes(void* out, size_t n) {
        if (!Take(n)) return false;
        std::memcpy(out, p_ + pos_ - n, n);
        return true;
    }
    bool Skip(size_t n) { return Take(n); }
    size_t Pos() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    bool ok() const { return ok_; }

private:
    bool Take(size_t n) {
        if (!ok_ || n > size_ - pos_) return ok_ = false;
        pos_ += n;
        return true;
    }
    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Bounded sequential writer into a big-endian buffer. A write past the end is dropped and clears ok().
class BEWriter {
public:
    BEWriter(void* data, size_t capacity) : p_(static_cast<uint8_t*>(data)), cap_(capacity) {}
    void U8(uint8_t v) { if (Take(1)) WriteBE8(p_ + pos_ - 1, v); }
    void U16(uint16_t v) { if (Take(2)) WriteBE16(p_ + pos_ - 2, v); }
    void U32(uint32_t v) { if (Take(4)) WriteBE32(p_ + pos_ - 4, v); }
    void Bytes(const void* in, size_t n) { if (Take(n) && n) std::memcpy(p_ + pos_ - n, in, n); }
    void Zeros(size_t n) { if (Take(n) && n) std::memset(p_ + pos_ - n, 0, n); }
    size_t Pos() const { return pos_; }
    bool ok() const { return ok_; }

private:
    bool Take(size_t n) {
        if (!ok_ || n > cap_ - pos_) return ok_ = false;
        pos_ += n;
        return true;
    }
    uint8_t* p_;
    size_t cap_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vantor
