// The OS libraries the 68K environment calls: the system dispatch table and its slots.
#pragma once

#include <cstdint>

namespace morvel {

// Handed over by the module glue (__SetDispatchTableSystem); null until then.
void MorvelSetSystemTable(void* const* table);
void* const* MorvelSystemTable();
inline bool SysTableBound() { return MorvelSystemTable() != nullptr; }

template <typename Fn>
inline Fn SysSlot(unsigned slot) {
    return reinterpret_cast<Fn>(MorvelSystemTable()[slot]);
}

// System slots the machinery relies on.
constexpr unsigned kSysErrDisplayFileLineMsg = 159;
using SysErrDisplayFileLineMsgFn = void (*)(const char* file, uint16_t line, const char* message);

}  // namespace morvel
