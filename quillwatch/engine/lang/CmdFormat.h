// Output routines of the debugger commands: value and address formats and the hex dump.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

// Printable ASCII stands for itself, every other byte is '.'.
char CmdPrintableChar(char c);
// "$%02x  #%u  #%d  '" (size 1), "$%04x ..." (size 2) or "$%08lx ..." (otherwise), the value's bytes
// big-endian as characters and "'"; with the address flag "$%08lx  " comes first. `buffer` holds 64 bytes.
void CmdFormatValue(char* buffer, uint32_t value, uint16_t size, bool withAddress);
// "$%08lx  ".
void CmdFormatAddress(uint32_t value, char* buffer);
// Lines of at most 16 bytes: address, bytes in hexadecimal, and the bytes as characters in quotes.
void CmdHexDump(DbgContextType* ctx, uint32_t address, const uint8_t* bytes, uint32_t count);

}  // namespace quillwatch
