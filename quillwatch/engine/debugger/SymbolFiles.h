// Symbol files: big-endian COFF files with the three sections .text, .data and .bss, that give the
// source file, line and function of 68K code and its local variables. Loaded files form a list;
// a file that changed on disk, or whose code on the device changed, is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct SymSection {
    char name[9];
    uint32_t oldAddress;
    uint32_t loadAddress;
    uint32_t size;
};

struct SymLine {
    uint32_t addressOrIndex;  // section offset, or the function's symbol index for line 0
    uint32_t line;            // absolute line number; 0 starts a function
};

struct SymRecord {
    bool aux;
    std::string name;
    uint32_t value;
    uint16_t section;
    uint16_t type;
    uint8_t storageClass;
    // Auxiliary records.
    uint32_t tagIndex;
    uint16_t lineNumber;
    uint16_t size;
    uint32_t lineIndex;  // index into the line table counted from 1 (0: none)
    uint32_t endIndex;
};

struct SymFile {
    SymFile* next;
    std::string path;
    uint32_t modTime;
    uint32_t lastCheck;   // tick count of the last code check
    bool codeKnown;       // codeBytes hold the first 32 bytes of the code as last read
    uint8_t codeBytes[32];
    uint16_t sectionCount;
    SymSection sections[3];
    std::vector<SymLine> lines;
    std::vector<SymRecord> symbols;
};

// The loaded files, newest first.
extern SymFile* gSymFiles;

// Parses a symbol file's bytes (path names it in messages); errors are printed. None on error.
SymFile* SymFileParse(DbgContextType* ctx, const char* path, const uint8_t* bytes, size_t size,
                      uint32_t codeLoad, uint32_t dataLoad);
// Loads a file; a file of the same path is removed first. Errors are printed; returns 0.
int SymFileAdd(DbgContextType* ctx, const char* path, uint32_t codeLoad, uint32_t dataLoad);
int SymFileRemove(const char* path);
void SymFileRemoveAll(DbgContextType* ctx);

struct SymSource {
    uint32_t line;
    std::string file;      // source file
    std::string function;  // at most 63 characters
    uint32_t offset;       // of the address into the function
    std::string path;      // the symbol file
    const SymFile* record;
    uint32_t symbolIndex;  // of the function
};
// The source position of a code address: 0, or -1 when no file covers it.
int SymFindSrc(DbgContextType* ctx, uint32_t address, SymSource* out);
// The device address of the first line of the source file at or after the line: 0 or -1.
int SymFindAddrOfLine(DbgContextType* ctx, uint32_t* address, uint32_t line, const char* sourceFile,
                      const char* symbolPath);
// The name of the n-th file symbol of a loaded file: 0 or -1.
int SymSourceFileAt(DbgContextType* ctx, const char* symbolPath, uint32_t n, std::string* name);
// The source position of breakpoint slot 0-5 (cached per slot): 0 or -1.
int SymBreakpointSource(DbgContextType* ctx, uint32_t slot, std::string* file, std::string* path, uint32_t* line);

// One row of the local-variables display.
struct SymLocal {
    std::string name;
    std::string value;
};
// The local variables of the function that holds the address: 0 or -1.
int SymDrawLocalVars(DbgContextType* ctx, uint32_t address, uint32_t framePointer, int64_t symbolIndex,
                     std::vector<SymLocal>* rows);
// The hook the front end's local-variables window fills; none: rows are not shown.
extern void (*gSymLocalsHook)(const std::vector<SymLocal>& rows);
void SymDumpFiles(DbgContextType* ctx, bool all);

}  // namespace quillwatch
