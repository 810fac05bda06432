// Trap glue of the string calls: pointers pass straight through to the OS, integers and results
// are converted; StrPrintF's 68K variable arguments are rebuilt as a native array.
#pragma once

#include <cstdint>

#include "common/module/SystemCalls.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

void StringGlueInstall(TrapHandler* table);

// Rebuilds the 68K variable arguments at `args68K` that `format` consumes as one 32-bit entry per
// value in `native`, which must have FormatArgEntries(format) entries.
void StrVPrintFImpl(const char* format, uint32_t args68K, uint32_t* native);
// The entries a format may consume: one per '%', plus one per '*' up to the number of '%'.
uint32_t FormatArgEntries(const char* format);

// The native arguments of one format (null: none): a local array of LocalEntries entries when
// that is enough, else one allocated for the format. Ok() is false when that allocation failed.
template <uint32_t LocalEntries>
class FormatArgs {
public:
    FormatArgs(const char* format, uint32_t args68K) {
        const uint32_t entries = format ? FormatArgEntries(format) : 0;
        if (entries > LocalEntries) native_ = static_cast<uint32_t*>(vantor::sys::MemPtrNew(entries * 4));
        if (native_ && format) StrVPrintFImpl(format, args68K, native_);
    }
    ~FormatArgs() {
        if (native_ && native_ != local_) vantor::sys::MemChunkFree(native_);
    }
    FormatArgs(const FormatArgs&) = delete;
    FormatArgs& operator=(const FormatArgs&) = delete;
    bool Ok() const { return native_ != nullptr; }
    uint32_t* Native() { return native_; }

private:
    uint32_t local_[LocalEntries] = {};
    uint32_t* native_ = local_;
};

}  // namespace morvel
