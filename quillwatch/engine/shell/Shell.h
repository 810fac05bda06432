// The device shell: command lines typed into the Console window (or run from the Debugger window)
// that work on the device through remote OS calls.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace quillwatch {

// The shell's attached indicator: set and cleared with the debugger variable Attached.
extern uint8_t ShellAttached;

// Runs one command line (split in place): 0, 32767 for "Exit", or the error a command threw.
uint32_t ShellCmdExecute(char* line);

// Who owns the chunk that holds a device address.
struct ShellChunkOwner {
    enum Kind { None, Record, Resource };
    bool chunkFound = false;
    uint32_t chunk = 0;  // the chunk's data address
    uint16_t card = 0;
    uint16_t heapId = 0;
    Kind kind = None;
    char database[33] = {};
    uint16_t index = 0;  // record number or resource index
    uint32_t resType = 0;
    uint16_t resId = 0;
    uint16_t attributes = 0;
};
// Finds the chunk, database and entry that hold a device address; remote failures are thrown.
void ShellFindChunkOwner(uint32_t address, ShellChunkOwner* out);
// The same under a try frame: the error thrown, or 0.
uint32_t PrvFindResourceTry(uint32_t address, ShellChunkOwner* out);
// The address of a resource's data by database name (the highest version on any card), type and id:
// 0, or the error.
uint32_t ShellLocateResourceTry(const char* database, uint32_t type, uint16_t id, uint32_t* resource);

// Text output utilities.
void ShellTypeToText(char out[5], uint32_t code);
int ShellStrCaseCompare(const char* a, const char* b);
void ShellPrintEscaped(const uint8_t* bytes, size_t count);
void ShellPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
uint16_t ShellEnqueueKey(uint16_t character, uint16_t keyCode, uint16_t modifiers);

}  // namespace quillwatch
