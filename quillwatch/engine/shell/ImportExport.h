// Database import and export: record (.wyx) and resource (.vrx) database files on the host, read and
// rebuilt on the device, or written from a device database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Status.h"

namespace quillwatch {

constexpr size_t kDbHeaderSize = 78;

// A database file as read: its header fields in host order and its entries with their sizes.
struct ShellDbFile {
    char name[33];
    uint16_t attributes, version;
    uint32_t crDate, modDate, bckDate, modNum, appInfoOffset, sortInfoOffset, type, creator;
    bool resource;
    struct Entry {
        uint32_t offset, size;
        uint8_t attributes;  // records
        uint32_t uniqueId;   // records, 24 bits
        uint32_t type;       // resources
        uint16_t id;         // resources
    };
    std::vector<Entry> entries;
    // Entries before this one lie in order inside the file; an import stops here ("Corrupt database").
    size_t soundEntries;
    uint32_t appInfoSize, sortInfoSize;
};

// Reads a file image: false (with the reason) when its header, entry table or name is broken.
bool ShellDbFileParse(const uint8_t* bytes, size_t size, ShellDbFile* out, std::string* reason);

void ShellImportDatabase(uint16_t card, const char* path, bool keepUniqueIds, bool keepDates, bool verbose);
void ShellExportDatabase(uint16_t card, const char* name, const char* path);
void ShellExportDatabaseByName(uint16_t card, const char* name);
vantor::Status ShellDeleteDatabase(uint16_t card, uint32_t id);

// A device database name as a host file name: separators replaced; "" for "." and "..".
std::string ShellSafeFileName(const char* name);
// The files of a directory below the device folder, and a directory made there.
std::vector<std::string> ShellListDirectory(const char* directory);
void ShellMakeDirectory(const char* directory);

}  // namespace quillwatch
