// The system structure table and its labels (see SysLabels.h).
#include "quillwatch/engine/shell/SysLabels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/BigEndian.h"

#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/RemoteMemory.h"

namespace quillwatch {

namespace {

// A low-memory word and the label of the chunk it points to.
struct SysWord {
    uint16_t offset;
    uint8_t form;  // how the word becomes an address (below)
    const char* label;
};

enum : uint8_t {
    kWord,       // the 32-bit word as it is
    kClearBit31  // the word with bit 31 cleared (a handle-style pointer)
};

// The system library table: its address at 320, the number of entries in the high half of the
// word at 324; entry n (from 1) of 16 bytes holds the library's dispatch table (+0) and globals
// (+4); the library's name lies at the dispatch table plus the offset in its first word.
constexpr uint32_t kLibraryTable = 320, kLibraryCount = 324;
constexpr uint32_t kLibraryEntrySize = 16, kMaxLibraries = 40, kLibraryNameSize = 32;
constexpr char kFileSystemLibrary[] = "MS FileSystem Library";

// The low-memory rows are compared first, then the further words, in this order.
constexpr SysWord kSysWords[] = {
    {352, kWord, "Serial Globals (SerGlobalsType or SrmGlobalsType)"},
    {356, kWord, "Screen Driver Globals (ScrGlobalsType)"},
    {360, kWord, "Floating Point Globals (FplGlobalsType)"},
    {364, kWord, "Pen Manager Globals (PenGlobalsType)"},
    {368, kWord, "System Event Manager Globals (SysEvtMgrGlobalsType)"},
    {372, kWord, "Sound Manager Globals (SndGlobalsType)"},
    {376, kWord, "Time Manager Globals (TimGlobalsType)"},
    {380, kWord, "Alarm Manager Globals (AlmGlobalsType)"},
    {384, kWord, "Feature Table"},
    {388, kWord, "Scrivel Glue Globals (ScvGlobalsType)"},
    {392, kWord, "Key Manager Globals (KeyGlobalsType)"},
    {688, kWord, "Int'l Mgr Globals (Variable - IntlGlobalsType)"},
    {698, kWord, "FEP (Input Method) Global Status (TsmFepStatusType)"},
    // Further words of the OS, each the pointer the OS keeps for one structure.
    {320, kWord, "System Library Table"},
    {268, kWord, "Notify Manager Globals (SysNotifyGlobalsType)"},
    {286, kWord, "Notify Manager Notify List (array of SysNotifyListEntryType)"},
    {298, kWord, "Kernel Globals"},
    {326, kWord, "IRQ 2 Globals (??? Type)"},
    {330, kWord, "IRQ 6 Globals (??? Type)"},
    {404, kWord, "RAM Mobitex Globals (Mobitex PrvGlobalsType)"},
    {408, kWord, "Battery Globals (PrvBatteryGlobalsPtr)"},
    {428, kWord, "Battery Data (SysBatteryDataStruct)"},
    {440, kWord, "SysAppInfoPtr: AMX"},
    {452, kWord, "SysAppInfoPtr: Current UI App"},
    {474, kWord, "SysAppInfoPtr: UI Shell"},
    {478, kWord, "Serial Buffer"},
    {516, kClearBit31, "Keyboard Queue (KeyQueueType)"},
    {534, kClearBit31, "Pen Queue (PenQueueType)"},
    {548, kClearBit31, "DataMgr Protect List (DmProtectEntryPtr*)"},
    {576, kClearBit31, "Scrivel Private"},
    {650, kClearBit31, "Alarm Table"},
    {734, kClearBit31, "Expansion Mgr Globals (3.5)"},
    {668, kWord, "ExpansionMgr: slotListH"},
    {676, kWord, "VFSMgr: fsLibInfoH"},
    {680, kWord, "VFSMgr: defaultDirsH"},
    {684, kWord, "VFSMgr: volumeInfoH"},
    {706, kWord, "Ir Lib Globals (IrLibGlobalsType)"},
    {738, kWord, "Attention Mgr Globals"},
    {742, kWord, "Shared Expansion & VFSMgr Globals"},
    {754, kWord, "Interrupt Handler Notifications Queue"},
    {758, kWord, "PowerMgr globals"},
    {828, kWord, "Application defined sub-font list"},
    {832, kWord, "IRQ 1 Globals (??? Type)"},
    {852, kWord, "UI: Event Queue"},
    {856, kWord, "Screen Buffer"},
    {868, kWord, "Screen Driver: row pattern buffer"},
};
constexpr int kSysWordCount = sizeof kSysWords / sizeof kSysWords[0];

// The table: the address each word gave, in the order of kSysWords (0: none).
struct ShellSysTableType {
    uint32_t address[kSysWordCount];
    std::vector<std::pair<uint32_t, std::string>> libraries;  // globals and their label
};

std::unique_ptr<ShellSysTableType> gSysTable;

uint32_t PrvAddressOf(const SysWord& w, uint32_t word) {
    return w.form == kClearBit31 ? word & 0x7FFFFFFF : word;
}

// The globals of every installed library, labelled with the library's name.
void PrvReadLibraries(ShellSysTableType* table) {
    const uint32_t base = RemoteReadLong(kLibraryTable);
    const uint32_t count = std::min<uint32_t>(RemoteReadLong(kLibraryCount) >> 16, kMaxLibraries);
    for (uint32_t n = 1; base && n < count; ++n) {
        const uint32_t dispatch = RemoteReadLong(base + n * kLibraryEntrySize);
        const uint32_t globals = RemoteReadLong(base + n * kLibraryEntrySize + 4);
        if (!dispatch || !globals) continue;
        uint8_t offset[2];
        char name[kLibraryNameSize + 1] = {};
        if (RemoteReadCached(offset, dispatch, 2) != 0 ||
            RemoteReadCached(name, dispatch + vantor::ReadBE16(offset), kLibraryNameSize) != 0)
            continue;
        const std::string library(name, strnlen(name, kLibraryNameSize));
        table->libraries.emplace_back(globals, library == kFileSystemLibrary ? "FileSystem Globals (3.5)"
                                                                             : library + " globals");
    }
}

}  // namespace

void ShellSysTableBuild() {
    if (gSysTable) return;
    auto table = std::make_unique<ShellSysTableType>();
    const uint32_t thrown = ErrTry([&] {
        for (int i = 0; i < kSysWordCount; ++i)
            table->address[i] = PrvAddressOf(kSysWords[i], RemoteReadLong(kSysWords[i].offset));
        PrvReadLibraries(table.get());
    });
    if (thrown == 0) gSysTable = std::move(table);
}

void ShellSysTableFree() { gSysTable.reset(); }

void ShellSysLabel(uint32_t chunk, char label[kShellSysLabelSize]) {
    label[0] = '\0';
    if (!gSysTable || chunk == 0) return;
    for (int i = 0; i < kSysWordCount; ++i) {
        if (gSysTable->address[i] == chunk) {
            std::snprintf(label, kShellSysLabelSize, "%s", kSysWords[i].label);
            return;
        }
    }
    for (const auto& [globals, text] : gSysTable->libraries) {
        if (globals == chunk) {
            std::snprintf(label, kShellSysLabelSize, "%s", text.c_str());
            return;
        }
    }
}

}  // namespace quillwatch
