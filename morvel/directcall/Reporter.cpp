// The report of a native call through a table entry that has no shim: the address of the call, and
// the table and function id decoded from the caller's BL and the two-instruction stub it calls.
#include <cstdio>
#include <cstring>

#include "morvel/directcall/DirectCall.h"

namespace morvel::directcall {

extern "C" void PrvLumetUnimplementedSysCall(uint32_t ret) {
    std::printf("#### PrvLumetUnimplementedSysCall(): Direct Access to an unsupported system call (@ 0x%lX)\n",
                static_cast<unsigned long>(ret - 4));
    if (ret & 1) {
        std::puts("PrvLumetUnimplementedSysCall(): Call is in Thumb mode");
        std::fflush(stdout);
        return;
    }
    auto word = [](uint32_t address) {
        uint32_t w;
        std::memcpy(&w, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
        return w;
    };
    const uint32_t call = word(ret - 4);
    const bool bl = ((call >> 24) & 0xF) == 0xB && (call >> 28) != 0xF;
    if (bl && (ret & 3) == 0) {
        // The offset is a signed 24-bit word count, relative to the BL's address + 8.
        const int32_t offset = static_cast<int32_t>(call << 8) >> 8;
        const uint32_t target = ret + 4 + static_cast<uint32_t>(offset) * 4u;
        const uint32_t first = word(target), second = word(target + 4);
        if ((first & 0xFFFFF000u) == 0xE519C000u && (second & 0xFFFFF000u) == 0xE59CF000u) {
            const unsigned long n = first & 0xFFF, id = (second & 0xFFF) / 4;
            if (n == kKezOffset)
                std::printf("PrvLumetUnimplementedSysCall(): Kez, Func ID: %lu\n", id);
            else if (n == kSystemOffset)
                std::printf("PrvLumetUnimplementedSysCall(): System, Func ID: %lu\n", id);
            else if (n == kUiOffset)
                std::printf("PrvLumetUnimplementedSysCall(): UI, Func ID: %lu\n", id);
            else
                std::printf("PrvLumetUnimplementedSysCall(): Unknown Module ID: %lu, Func ID: %lu\n", n / 4, id);
        }
    }
    std::fflush(stdout);
}

}  // namespace morvel::directcall
