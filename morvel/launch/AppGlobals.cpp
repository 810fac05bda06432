#include "morvel/launch/AppGlobals.h"

#include <cstring>

#include "common/BigEndian.h"

namespace morvel {
namespace {

class Unpacker {
public:
    Unpacker(const uint8_t* image, uint32_t imageSize, uint8_t* globals, uint32_t size, uint32_t below)
        : in_(image), inSize_(imageSize), out_(globals), size_(size), a5_(below) {}

    bool Unpack(uint32_t codeBase) {
        pos_ = 4;
        if (inSize_ < pos_) return false;
        for (int block = 0; block < 3; ++block)
            if (!Block()) return false;
        auto a5 = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(out_)) + a5_;
        if (pos_ < inSize_ && !Relocate(a5)) return false;
        if (pos_ < inSize_ && !Relocate(codeBase)) return false;
        return true;
    }

private:
    bool Take(uint32_t n, const uint8_t** p) {
        if (inSize_ - pos_ < n) return false;
        *p = in_ + pos_;
        pos_ += n;
        return true;
    }
    // Room for n bytes at the write position.
    bool Room(uint32_t n) const { return dst_ <= size_ && size_ - dst_ >= n; }
    bool Put(const uint8_t* bytes, uint32_t n) {
        if (!Room(n)) return false;
        std::memcpy(out_ + dst_, bytes, n);
        dst_ += n;
        return true;
    }
    bool Fill(uint8_t value, uint32_t n) {
        if (!Room(n)) return false;
        std::memset(out_ + dst_, value, n);
        dst_ += n;
        return true;
    }
    bool Skip(uint32_t n) {
        if (!Room(n)) return false;
        dst_ += n;
        return true;
    }
    // The position A5 + offset, when it lies in the globals.
    bool At(int64_t offset, uint32_t* dst) const {
        int64_t at = static_cast<int64_t>(a5_) + offset;
        if (at < 0 || at > static_cast<int64_t>(size_)) return false;
        *dst = static_cast<uint32_t>(at);
        return true;
    }

    bool Block() {
        const uint8_t* p;
        if (!Take(4, &p) || !At(static_cast<int32_t>(vantor::ReadBE32(p)), &dst_)) return false;
        for (;;) {
            if (!Take(1, &p)) return false;
            uint8_t c = *p;
            if (c == 0 || (c >= 5 && c <= 15)) return true;
            const uint8_t* b;
            if (c & 0x80) {
                uint32_t n = (c & 0x7Fu) + 1;
                if (!Take(n, &b) || !Put(b, n)) return false;
            } else if (c & 0x40) {
                if (!Skip((c & 0x3Fu) + 1)) return false;
            } else if (c & 0x20) {
                if (!Take(1, &b) || !Fill(*b, (c & 0x1Fu) + 2)) return false;
            } else if (c & 0x10) {
                if (!Fill(0xFF, (c & 0x0Fu) + 1)) return false;
            } else {
                // Patterns of 8 bytes that 68K code and data often hold.
                static constexpr uint8_t kFF[2] = {0xFF, 0xFF}, kA9F0[2] = {0xA9, 0xF0};
                bool ok;
                switch (c) {
                    case 1: ok = Take(2, &b) && Skip(4) && Put(kFF, 2) && Put(b, 2); break;
                    case 2: ok = Take(3, &b) && Skip(4) && Put(kFF, 1) && Put(b, 3); break;
                    case 3: ok = Take(3, &b) && Put(kA9F0, 2) && Skip(2) && Put(b, 2) && Skip(1) && Put(b + 2, 1); break;
                    default: ok = Take(4, &b) && Put(kA9F0, 2) && Skip(1) && Put(b, 3) && Skip(1) && Put(b + 3, 1); break;
                }
                if (!ok) return false;
            }
        }
    }

    bool Relocate(uint32_t base) {
        const uint8_t* p;
        if (!Take(4, &p)) return false;
        uint32_t count = vantor::ReadBE32(p);
        int64_t offset = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (!Take(1, &p)) return false;
            if (*p & 0x80) {
                offset += static_cast<int8_t>(static_cast<uint8_t>(*p << 1));  // 7 bits signed, times 2
            } else if (*p & 0x40) {
                if (!Take(1, &p)) return false;
                uint32_t v = vantor::ReadBE16(p - 1) & 0x3FFFu;
                offset += (static_cast<int32_t>(v << 18) >> 18) * 2;
            } else {
                if (!Take(3, &p)) return false;
                uint32_t v = vantor::ReadBE32(p - 1) & 0x3FFFFFFFu;
                offset = static_cast<int64_t>(static_cast<int32_t>(v << 2) >> 2) * 2;
            }
            uint32_t at;
            if (!At(offset, &at) || size_ - at < 4) return false;
            vantor::WriteBE32(out_ + at, vantor::ReadBE32(out_ + at) + base);
        }
        return true;
    }

    const uint8_t* in_;
    uint32_t inSize_;
    uint32_t pos_ = 0;
    uint8_t* out_;
    uint32_t size_;
    uint32_t a5_;
    uint32_t dst_ = 0;
};

}  // namespace

bool GlobalsUnpack(const uint8_t* image, uint32_t imageSize, uint8_t* globals, uint32_t size, uint32_t below,
                   uint32_t codeBase) {
    if (!image || !globals || below > size) return false;
    return Unpacker(image, imageSize, globals, size, below).Unpack(codeBase);
}

}  // namespace morvel
