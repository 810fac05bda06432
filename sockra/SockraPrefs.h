// Records of the preferences database "Net Prefs" (resources of type 'sokr'), in native layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Status.h"

namespace sockra {

constexpr uint16_t kPrefsVersion = 3;
constexpr int kConfigCount = 16;
constexpr uint16_t kConfigNone = 0xFFFF;
constexpr uint16_t kConfigPreviousSlot = 16;  // settings saved before the last switch

// Resource 1: the general record.
struct NetGeneralPrefs {
    uint16_t version;
    uint32_t setting1, setting2, setting3, setting4;
    uint16_t setting5;
    uint32_t setting9, setting10;
};
static_assert(sizeof(NetGeneralPrefs) == 32 && offsetof(NetGeneralPrefs, setting5) == 20 &&
              offsetof(NetGeneralPrefs, setting9) == 24);

// Resource 5: the trace record.
struct NetTracePrefs {
    uint16_t version;
    uint32_t bufSize;     // setting 0x1001
    uint8_t wrap;         // setting 0x1003
    uint32_t writePos;    // setting 0x1002
    uint32_t eventFlags;  // setting 0x1000
};
static_assert(sizeof(NetTracePrefs) == 20 && offsetof(NetTracePrefs, writePos) == 12);

// Resource 7 (setting 0x1006): the configuration list.
struct NetConfigEntry {
    char name[32];  // empty: free; ".": alias; "_": built-in
    uint16_t aliasTarget;
    uint8_t flags;  // bit 0: settings saved
    uint8_t pad;
};
struct NetConfigList {
    uint16_t version;
    uint16_t active;
    uint16_t previousSaved;
    uint16_t previous;
    NetConfigEntry entries[kConfigCount];
};
static_assert(sizeof(NetConfigEntry) == 36 && sizeof(NetConfigList) == 584);

void NetGeneralPrefsDefault(NetGeneralPrefs* p);
void NetTracePrefsDefault(NetTracePrefs* p);
void NetConfigListDefault(NetConfigList* list);

inline bool NetConfigIsFree(const NetConfigEntry& e) { return e.name[0] == '\0'; }
inline bool NetConfigIsAlias(const NetConfigEntry& e) { return e.name[0] == '.'; }
inline bool NetConfigIsBuiltIn(const NetConfigEntry& e) { return e.name[0] == '_'; }

// Follows at most three alias steps from index: 0xFFFF ends the walk with 0xFFFF, an index above
// 15 gives 0x1273, a free entry or a fourth alias 0x127B; a configuration ends it with its index.
vantor::Status NetConfigFollowAlias(const NetConfigList* list, uint16_t index, uint16_t* resolvedP);

// The host table of setting 8: lines of a name, three separator characters and a dotted address,
// each ended by LF. Parsed into entries of a NUL-terminated name padded to even length and its
// 32-bit address (network order), ended by an empty name. Answers the parsed size (with out null,
// only measures); lines that do not parse are skipped.
size_t NetHostTableParse(const uint8_t* text, size_t size, uint8_t* out, size_t outSize);

}  // namespace sockra
