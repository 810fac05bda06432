// Trap glue of the string calls: pointers pass straight through to the OS, integers and results
// are converted; StrPrintF's 68K variable arguments are rebuilt as a native array.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"

namespace morvel {

void StringGlueInstall(TrapHandler* table);

// Rebuilds the 68K variable arguments at `args68K` that `format` consumes as one 32-bit entry per
// value in `native`, which must have FormatArgEntries(format) entries.
void StrVPrintFImpl(const char* format, uint32_t args68K, uint32_t* native);
// The entries a format may consume: one per '%', plus one per '*' up to the number of '%'.
uint32_t FormatArgEntries(const char* format);

}  // namespace morvel
