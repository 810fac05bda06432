// Files and the device: load, dump and save device memory, the bootstrap load, and the listing of
// a ROM image by its routine map.
#pragma once

#include <cstdint>
#include <string>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

uint16_t CmdLoadFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t* loaded);
uint16_t CmdDumpFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t count);
uint16_t CmdSaveFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t count);
uint16_t CmdDoFileCmd(DbgContextType* ctx);  // load, dump, save, bootstrap

// The ROM listing (command id 70): the image, its routine map and the listing file. 1 after any
// error message (0 only when the listing was written).
uint16_t CmdRomListing(DbgContextType* ctx, const char* image, const char* map, const char* output);
uint16_t CmdDoRomListingCmd(DbgContextType* ctx);
// The end of a routine: just behind its RTS, RTE, RTD or JMP (A0), or behind `limit` words.
size_t CmdFindRoutineEnd(const uint8_t* code, size_t bytes);

// A host path: the system's folder separator "\" becomes "/".
std::string CmdHostPath(const std::string& path);

uint16_t CmdDoSymbolsCmd(DbgContextType* ctx);  // sym

}  // namespace quillwatch
