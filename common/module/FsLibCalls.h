// The export slots of a file-system library module (type 'libf'), as the OS's file-system manager
// calls them: slot numbers and signatures. The host file-system library serves them; the stand-in
// OS's file-system manager routes the volume and file calls of applications to them.
#pragma once

#include <cstdint>

namespace vantor::fslibslot {

constexpr uint16_t FSLibOpen = 0, FSLibClose = 1, FSLibSleep = 2, FSLibWake = 3, FSLibAPIVersion = 4,
                   FSCustomControl = 5, FSFilesystemType = 6, FSFileCreate = 7, FSFileOpen = 8,
                   FSFileClose = 9, FSFileRead = 10, FSFileWrite = 11, FSFileDelete = 12, FSFileRename = 13,
                   FSFileSeek = 14, FSFileEOF = 15, FSFileTell = 16, FSFileResize = 17,
                   FSFileGetAttributes = 18, FSFileSetAttributes = 19, FSFileGetDate = 20,
                   FSFileSetDate = 21, FSFileSize = 22, FSDirCreate = 23, FSDirEntryEnumerate = 24,
                   FSVolumeFormat = 25, FSVolumeMount = 26, FSVolumeUnmount = 27, FSVolumeInfo = 28,
                   FSVolumeGetLabel = 29, FSVolumeSetLabel = 30, FSVolumeSize = 31;
constexpr uint16_t kSlotCount = 32;

}  // namespace vantor::fslibslot

namespace vantor::fslibsig {

using FileRef = uint32_t;

using FSLibOpen = uint16_t();
using FSLibClose = uint16_t();
using FSCustomControl = uint16_t(uint32_t creator, uint16_t selector, void* valueP, uint16_t* valueLenP);
using FSFilesystemType = uint16_t(uint32_t* fsTypeP);
using FSFileCreate = uint16_t(uint16_t volRefNum, const char* path);
using FSFileOpen = uint16_t(uint16_t volRefNum, const char* path, uint16_t openMode, FileRef* fileRefP);
using FSFileClose = uint16_t(FileRef fileRef);
using FSFileRead = uint16_t(FileRef fileRef, uint32_t count, void* bufBaseP, uint32_t offset, uint8_t toStorage,
                            uint32_t* countReadP);
using FSFileWrite = uint16_t(FileRef fileRef, uint32_t count, const void* sourceP, uint32_t* countWrittenP);
using FSFileDelete = uint16_t(uint16_t volRefNum, const char* path);
using FSFileRename = uint16_t(uint16_t volRefNum, const char* path, const char* newName);
using FSFileSeek = uint16_t(FileRef fileRef, uint16_t origin, int32_t offset);
using FSFileEOF = uint16_t(FileRef fileRef);
using FSFileTell = uint16_t(FileRef fileRef, uint32_t* positionP);
using FSFileResize = uint16_t(FileRef fileRef, uint32_t newSize);
using FSFileGetAttributes = uint16_t(FileRef fileRef, uint32_t* attributesP);
using FSFileSetAttributes = uint16_t(FileRef fileRef, uint32_t attributes);
using FSFileGetDate = uint16_t(FileRef fileRef, uint16_t selector, uint32_t* dateP);
using FSFileSetDate = uint16_t(FileRef fileRef, uint16_t selector, uint32_t date);
using FSFileSize = uint16_t(FileRef fileRef, uint32_t* sizeP);
using FSDirCreate = uint16_t(uint16_t volRefNum, const char* path);
// `infoP` is the native directory-entry record: u32 attributes, u32 name buffer, u16 buffer size.
using FSDirEntryEnumerate = uint16_t(FileRef dirRef, uint32_t* iteratorP, void* infoP);
using FSVolumeFormat = uint16_t(uint32_t params);
// `params` is a mount parameter record in 68K layout (big-endian): u16 volume reference number,
// u16 reserved, u32 mount class, u16 slot library reference number, u16 slot reference number.
using FSVolumeMount = uint16_t(uint32_t params);
using FSVolumeUnmount = uint16_t(uint16_t volRefNum);
// `infoP` is the native 28-byte volume information record (media type at offset 20).
using FSVolumeInfo = uint16_t(uint16_t volRefNum, void* infoP);
using FSVolumeGetLabel = uint16_t(uint16_t volRefNum, char* label, uint16_t bufSize);
using FSVolumeSetLabel = uint16_t(uint16_t volRefNum, const char* label);
using FSVolumeSize = uint16_t(uint16_t volRefNum, uint32_t* usedP, uint32_t* totalP);

// The mount class of a volume on a card in an expansion slot ('libs').
constexpr uint32_t kMountClassSlot = 0x6C696273;

}  // namespace vantor::fslibsig
