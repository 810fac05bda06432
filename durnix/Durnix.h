// The host file-system library: its 32 operations (export slot n is also 68K trap 0xA801 + n), the
// records they exchange with the OS, their status codes and the 68K entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Status.h"
#include "common/module/A68kLibrary.h"
#include "common/module/ModuleInterface.h"
#include "durnix/DurnixTypes.h"

namespace durnix {

using vantor::Status;

// Status codes.
constexpr Status errNoMemoryOrSlot = 0x0102;  // no free volume slot; errno ENOMEM
constexpr Status errBadArgument = 0x0502;
constexpr Status errOutOfMemory = 0x0504;
constexpr Status errTrapNotServed = 0x0505;
constexpr Status errBadParam = 0x2901;
constexpr Status errVolumeReadOnly = 0x2907;
constexpr Status errNotOpen = 0x290A;
constexpr Status errNotImplemented = 0x290C;
constexpr Status errNoMoreEntries = 0x290D;
constexpr Status errBufferTooSmall = 0x2A01;
constexpr Status errUnknownHost = 0x2A02;
constexpr Status errCloseFailed = 0x2A03;
constexpr Status errPermission = 0x2A05;
constexpr Status errFileExists = 0x2A06;
constexpr Status errEndOfFile = 0x2A07;
constexpr Status errPathNotFound = 0x2A08;
constexpr Status errNoSuchVolume = 0x2A09;
constexpr Status errWrongCard = 0x2A0B;
constexpr Status errDirNotEmpty = 0x2A0D;
constexpr Status errBadName = 0x2A0E;
constexpr Status errTooManyFiles = 0x2A0F;
constexpr Status errNotDirectory = 0x2A11;
constexpr Status errIsDirectory = 0x2A12;
constexpr Status errNewPathNotFound = 0x2A13;

// Open-mode bits: readable when mode & 0x02, writable when (mode & 0x05) == 0x05.
constexpr uint16_t kModeRead = 0x02;
constexpr uint16_t kModeWrite = 0x05;

// The OS counts seconds from 1904, the host from 1970.
constexpr uint32_t kOsEpochOffset = 0x7C25B080;  // 2082844800

// The mount parameter record, native layout (68K layout converted with kMountParamsLayout).
struct DurnixMountParams {
    uint16_t volRefNum;
    uint16_t reserved;
    uint32_t mountClass;
    uint16_t slotLibRefNum;
    uint16_t slotRefNum;
};
static_assert(sizeof(DurnixMountParams) == 12);

struct DurnixVolumeInfo {
    uint32_t attributes;
    uint32_t fsType;
    uint32_t fsCreator;
    uint32_t mountClass;
    uint16_t slotLibRefNum;
    uint16_t slotRefNum;
    uint32_t mediaType;
    uint32_t reserved;
};
static_assert(sizeof(DurnixVolumeInfo) == 28);
static_assert(offsetof(DurnixVolumeInfo, mediaType) == 20);

struct DurnixDirEntryInfo {
    uint32_t attributes;
    uint32_t nameP;  // name buffer (a native address), or 0
    uint16_t nameBufSize;
};
static_assert(sizeof(DurnixDirEntryInfo) == 12);
static_assert(offsetof(DurnixDirEntryInfo, nameBufSize) == 8);

// Layout texts of the 68K environment's record conversion.
inline constexpr uint8_t kMountParamsLayout[] = {0x01, 0x22, 0x14, 0x02, 0x22, 0x00};
inline constexpr uint8_t kVolumeInfoLayout[] = {0x44, 0x22, 0x24, 0x00};
inline constexpr uint8_t kDirEntryInfoLayout[] = {0x24, 0x12, 0x00};

// File references are DurnixFile addresses, passed as 32-bit values.
using FileRef = uint32_t;

Status FSLibOpen();
Status FSLibClose();
Status FSLibSleep();
Status FSLibWake();
uint32_t FSLibAPIVersion();
Status FSCustomControl(uint32_t creator, uint16_t selector, void* valueP, uint16_t* valueLenP);
Status FSFilesystemType(uint32_t* fsTypeP);
Status FSFileCreate(uint16_t volRefNum, const char* path);
Status FSFileOpen(uint16_t volRefNum, const char* path, uint16_t openMode, FileRef* fileRefP);
Status FSFileClose(FileRef fileRef);
Status FSFileRead(FileRef fileRef, uint32_t count, void* bufBaseP, uint32_t offset, uint8_t toStorage,
                  uint32_t* countReadP);
Status FSFileWrite(FileRef fileRef, uint32_t count, const void* sourceP, uint32_t* countWrittenP);
Status FSFileDelete(uint16_t volRefNum, const char* path);
Status FSFileRename(uint16_t volRefNum, const char* path, const char* newName);
Status FSFileSeek(FileRef fileRef, uint16_t origin, int32_t offset);
Status FSFileEOF(FileRef fileRef);
Status FSFileTell(FileRef fileRef, uint32_t* positionP);
Status FSFileResize(FileRef fileRef, uint32_t newSize);
Status FSFileGetAttributes(FileRef fileRef, uint32_t* attributesP);
Status FSFileSetAttributes(FileRef fileRef, uint32_t attributes);
Status FSFileGetDate(FileRef fileRef, uint16_t selector, uint32_t* dateP);
Status FSFileSetDate(FileRef fileRef, uint16_t selector, uint32_t date);
Status FSFileSize(FileRef fileRef, uint32_t* sizeP);
Status FSDirCreate(uint16_t volRefNum, const char* path);
Status FSDirEntryEnumerate(FileRef dirRef, uint32_t* iteratorP, DurnixDirEntryInfo* infoP);
Status FSVolumeFormat(uint32_t ignored);
// `params` is the caller's 68K mount parameter record (big-endian).
Status FSVolumeMount(uint32_t params);
Status FSVolumeUnmount(uint16_t volRefNum);
Status FSVolumeInfo(uint16_t volRefNum, DurnixVolumeInfo* infoP);
Status FSVolumeGetLabel(uint16_t volRefNum, char* label, uint16_t bufSize);
Status FSVolumeSetLabel(uint16_t volRefNum, const char* label);
Status FSVolumeSize(uint16_t volRefNum, uint32_t* usedP, uint32_t* totalP);

// Host errno to status.
Status DurnixErrnoMap(int err);

// The module's export table (32 entries in slot order).
vantor::ModuleProc* DurnixExportTable();

// The library's globals (tests inspect them).
DurnixGlobals* DurnixGlobalsGet();

// The module's launch handler: 0x7FFD stores DurnixLibEntry68K in the u32 `param` points to.
uint32_t DurnixModuleEntry(uint16_t launchCode, void* param, uint16_t flags);
// The 68K entry: selector 0 names the library, 1 does nothing, 0xA801..0xA820 run the traps.
uint16_t DurnixLibEntry68K(void* context, vantor::A68kLibTableEntry* entry, uint16_t selector);
uint16_t LibTrapDispatch68K(void* context, vantor::A68kLibTableEntry* entry, uint16_t trap);

}  // namespace durnix
