// The records of the host file-system library: its globals, one record per mounted volume and one
// per open file or directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include <dirent.h>

namespace durnix {

constexpr int kMaxVolumes = 8;
constexpr uint32_t kFsMagicMsDos = 0x4D44;  // a FAT volume: the host already ignores case
constexpr uint16_t kTraceCategory = 0x2A00;

struct DurnixFile;

// One mounted volume; a slot is free while its volume reference number is 0.
struct DurnixVolume {
    uint16_t volRefNum;
    char root[256];  // host directory, without a trailing ':', '\' or '/'
    DurnixFile* files;
    uint16_t slotLibRefNum;
    uint16_t slotRefNum;
    uint8_t readOnly;
    uint32_t fsMagic;
};

struct DurnixGlobals {
    uint32_t openCount;  // 0: the library is closed
    char separator;      // '/' once opened
    uint8_t ioBuffer[512];
    DurnixVolume volumes[kMaxVolumes];
    uint32_t uid, gid;
};

// DurnixFileAttributes
enum : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrVolumeLabel = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrLink = 0x40,
};

// An open file or directory; its address is the file reference the OS holds.
struct DurnixFile {
    FILE* stream;
    DIR* directory;
    DurnixFile* next;
    DurnixFile* previous;
    DurnixVolume* volume;
    char* hostPath;
    uint32_t attributes;
    time_t created, accessed, modified;
    uint16_t openMode;
};

}  // namespace durnix
