#include "morvel/traps/NativeCalls.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/TrapDispatch.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using trapglue::Mem;
using trapglue::Ptr;

// The zero-terminated text at p when it lies in readable memory and every byte is printable
// (0x20-0x7A); false otherwise.
bool PrintableText(const EmulState* s, uint32_t p, std::string* text) {
    uint32_t readable = p ? ValidatePtr(s, p, true, true) : 0;
    text->clear();
    for (uint32_t i = 0; i < readable; ++i) {
        uint8_t c = *Mem(p + i);
        if (c == 0) return true;
        if (c < 0x20 || c > 0x7A) return false;
        text->push_back(static_cast<char>(c));
    }
    return false;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

void TrapNativeCall(EmulState* s, uint16_t) {
    uint32_t r = NativeCodeLoad(s, GetArgPtr(s, 4), GetArgPtr(s, 0), 0xFFFFFFFFu);
    s->D[0] = s->A[0] = r;
}

void TrapNativeCallWithValue(EmulState* s, uint16_t) {
    uint32_t r = NativeCodeLoad(s, GetArgPtr(s, 8), GetArgPtr(s, 0), GetArgUInt32(s, 4));
    s->D[0] = s->A[0] = r;
}

}  // namespace

uint32_t Call68KFromNative(EmulState* s, uint32_t t, const void* arguments, uint32_t sizeAndFlags) {
    uint32_t n = sizeAndFlags & 0x0FFFFFFFu;
    if (!s || (n && !arguments)) return 0;
    if (t & ~0xFFFu) {
        if (n) std::memmove(Mem(s->A[7] - n), arguments, n);
        Call68KCode(s, t, n);
    } else {
        s->A[7] -= n;
        if (n) std::memmove(Mem(s->A[7]), arguments, n);
        TrapDispatch(s, static_cast<uint16_t>(t | 0xA000));
        s->A[7] += n;
    }
    return sizeAndFlags & kCallReturnsA0 ? s->A[0] : s->D[0];
}

uint32_t NativeCodeLoad(EmulState* s, uint32_t userData, uint32_t code, uint32_t) {
    if (!code) return 0;
    std::string name;
    if (PrintableText(s, code, &name) && name.size() > 3) {
        if (EndsWith(name, ".dll")) return 0;
        if (EndsWith(name, ".so")) {
            std::string entry;
            if (!PrintableText(s, code + static_cast<uint32_t>(name.size()) + 1, &entry) || entry.empty()) return 0;
            void* library = dlopen(name.c_str(), RTLD_NOW);
            if (!library) return 0;
            auto function = reinterpret_cast<NativeEntry>(dlsym(library, entry.c_str()));
            uint32_t result = function ? function(s, Ptr(userData), Call68KFromNative) : 0;
            dlclose(library);
            return result;
        }
    }
    // ARM code: it runs under the direct-call mechanism of the ARM build only.
    return 0;
}

void NativeCallsInstall(TrapHandler* t) {
    t[0x45A] = TrapNativeCall;
    t[0x479] = TrapNativeCallWithValue;
}

}  // namespace morvel
