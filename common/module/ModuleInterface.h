// The module interface shared by every Linux module of the OS and by the loaders that drive it:
// the info record a module exports, the import descriptor an importing module keeps, the launch
// codes, and the signatures of the exported glue functions.
//
// These records live in native memory of the 32-bit process and are read and written by modules
// and the OS alike, so their fields are little-endian host values (a byte dump of 'rsrc' reads
// "crsr"), laid out exactly as below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/FourCC.h"

// Marks a function exported from a module (modules are built with hidden visibility).
#define VANTOR_EXPORT __attribute__((visibility("default")))

namespace vantor {

// Returned by a module's __ExportModuleInfo: 36 bytes of read-only data.
struct ModuleInfoRecord {
    uint32_t type;
    uint32_t creator;
    uint32_t version;
    uint32_t slotCount;  // number of export slots
    uint32_t markerD;    // 'amdd'
    uint32_t markerI;    // 'amdi'
    uint32_t markerC;    // 'amdc'
    uint32_t reserved;   // 0
    uint16_t reserved2;  // 0
    uint16_t terminator; // 0xFFFF
};
static_assert(sizeof(ModuleInfoRecord) == 36);
static_assert(offsetof(ModuleInfoRecord, slotCount) == 12);
static_assert(offsetof(ModuleInfoRecord, markerD) == 16);
static_assert(offsetof(ModuleInfoRecord, reserved2) == 32);
static_assert(offsetof(ModuleInfoRecord, terminator) == 34);

// One per imported module, in the importer's writable data: 44 bytes. The slot count is the
// number of slots the importer was built against.
struct ModuleImportDescriptor {
    uint32_t type;
    uint32_t creator;
    uint32_t version;
    uint32_t slotCount;
    uint32_t markerD;
    uint32_t markerI;
    uint32_t markerC;
    uint32_t reserved[3];  // 0
    uint16_t terminator;   // 0xFFFF
    uint16_t reserved2;    // 0
};
static_assert(sizeof(ModuleImportDescriptor) == 44);
static_assert(offsetof(ModuleImportDescriptor, reserved) == 28);
static_assert(offsetof(ModuleImportDescriptor, terminator) == 40);
static_assert(offsetof(ModuleImportDescriptor, reserved2) == 42);

constexpr uint32_t kModuleMarkerD = FourCC("amdd");
constexpr uint32_t kModuleMarkerI = FourCC("amdi");
constexpr uint32_t kModuleMarkerC = FourCC("amdc");

constexpr ModuleInfoRecord MakeModuleInfo(uint32_t type, uint32_t creator, uint32_t version,
                                          uint32_t slotCount) {
    return {type, creator, version, slotCount, kModuleMarkerD, kModuleMarkerI, kModuleMarkerC,
            0, 0, 0xFFFF};
}

constexpr ModuleImportDescriptor MakeImportDescriptor(uint32_t type, uint32_t creator,
                                                      uint32_t version, uint32_t slotCount) {
    return {type,           creator,        version,        slotCount, kModuleMarkerD,
            kModuleMarkerI, kModuleMarkerC, {0, 0, 0},     0xFFFF,    0};
}

// Launch codes given to ModuleEntryPoint.
constexpr uint16_t ModuleLaunchCodeGetEntry = 0x7FFD;  // store the library's 68K entry in *param
constexpr uint16_t ModuleLaunchCodeLoad = 0x7FFE;      // just loaded and bound
constexpr uint16_t ModuleLaunchCodeUnload = 0x7FFF;    // about to be closed

// An entry of an export table or of the system dispatch table. Entries are called through a
// cast to their own signature.
using ModuleProc = void (*)();

// A module's export table: ModuleProc entries indexed by slot number.
using ModuleDispatchTable = ModuleProc*;
// The OS system dispatch table handed to every module (918 entries).
using SystemDispatchTable = ModuleProc*;

// The identities of the modules and libraries of the system.
constexpr uint32_t kKezType = FourCC("rsrc"), kKezCreator = FourCC("pkez"), kKezVersion = 2;
constexpr uint32_t kKezSlots = 288;
constexpr uint32_t kA68kType = FourCC("libr"), kA68kCreator = FourCC("a68k"), kA68kVersion = 2;
constexpr uint32_t kA68kSlots = 58;
constexpr uint32_t kSockraType = FourCC("libr"), kSockraCreator = FourCC("sokr");
constexpr uint32_t kSockraVersion = 1, kSockraSlots = 69;
constexpr uint32_t kDurnixType = FourCC("libf"), kDurnixCreator = FourCC("drnx");
constexpr uint32_t kDurnixVersion = 1, kDurnixSlots = 32;
constexpr uint32_t kBrontelType = FourCC("trel"), kBrontelCreator = FourCC("brtl");
constexpr uint32_t kBrontelVersion = 1, kBrontelSlots = 18;
constexpr uint32_t kUiLibType = FourCC("rsrc"), kUiLibCreator = FourCC("zuim");
constexpr uint32_t kUiLibVersion = 1, kUiLibSlots = 365;
constexpr uint32_t kHostLibType = FourCC("hstl"), kHostLibCreator = FourCC("host");
constexpr uint32_t kHostLibVersion = 1, kHostLibSlots = 114;
constexpr uint32_t kCardSlotLibType = FourCC("libs"), kCardSlotLibCreator = FourCC("yhov");
constexpr uint32_t kCardSlotLibVersion = 1, kCardSlotLibSlots = 22;
constexpr uint32_t kZdimLibType = FourCC("libr"), kZdimLibCreator = FourCC("zdim");
constexpr uint32_t kZdimLibVersion = 1, kZdimLibSlots = 24;

}  // namespace vantor

// The glue functions every module exports, resolved by name with dlsym.
extern "C" {
using ModuleSetRefNumProc = void (*)(uint32_t refNum);
using ModuleSetDispatchTableSystemProc = void (*)(vantor::SystemDispatchTable table);
using ModuleExportDispatchTableProc = void* (*)(uint32_t* tableOut);
using ModuleExportModuleInfoProc = const vantor::ModuleInfoRecord* (*)();
using ModuleEntryPointProc = uint32_t (*)(uint16_t launchCode, void* param, uint16_t flags);
using ModuleSetMyDispatchTableProc = void (*)();
}

// The system binder's signature (system slot 543).
using SysBindImportProc = uint16_t (*)(vantor::ModuleImportDescriptor* descriptor, uint32_t refNum,
                                       void** tablePointer);
