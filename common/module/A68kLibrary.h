// The 68K environment's library record and the 68K entry of a native library module: what Morvel
// and the library modules that serve 68K programs (the network and file-system libraries) share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

// One entry of the environment's library table, 32 bytes. A 68K library's install routine writes
// words 0 and 1 big-endian; words 2 and 3 are big-endian for a 68K library; the rest are native.
struct A68kLibTableEntry {
    uint32_t dispatch;      // 68K dispatch table (big-endian) or the native entry; 0 = free
    uint32_t globals;       // the library's globals, as the library sets them
    uint32_t dbRef;         // database reference of a 68K library (big-endian)
    uint32_t codeHandle;    // code resource handle of a 68K library (big-endian)
    uint32_t moduleRef;     // native module reference; 0xFFFFFFFF for a 68K library
    uint32_t name;          // pointer to the library's name text
    uint32_t install;       // install routine (68K address or native entry)
    uint32_t installCount;  // number of installs not yet removed
};
static_assert(sizeof(A68kLibTableEntry) == 32);
static_assert(offsetof(A68kLibTableEntry, name) == 20);

// Word 4 of a 68K library, and of a native library installed without a module of its own.
constexpr uint32_t kA68kLibKind68K = 0xFFFFFFFF;
constexpr uint32_t kA68kLibNoModule = 0xFFFFFFFE;

// The 68K entry of a native library module, stored by ModuleEntryPoint(0x7FFD) in the u32 its
// parameter points to. Selector 0 asks for the name (the entry stores its name pointer in the
// record's word 5), 1 does nothing, and 0xA801 and above are library traps. Answers 0, or 0x0505
// for a trap it does not serve.
using A68kLibEntry = uint16_t (*)(void* context, A68kLibTableEntry* entry, uint16_t selector);

constexpr uint16_t kA68kLibSelectorName = 0;
constexpr uint16_t kA68kLibSelectorClose = 1;

}  // namespace vantor
