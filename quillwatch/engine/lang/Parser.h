// The parser of the command language: leaves one line in postfix order on the parse stack.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

// Prints "Initializing parser...", allocates the parse stack, creates the name pool and the
// routine-name table, and runs lex_init.
int parse_init(DbgContextType* ctx);
void parse_close(DbgContextType* ctx);
// Parses the line loaded by lex_loadLine. 0 on success.
int parse_line(DbgContextType* ctx);
LexToken* parse_insertEntry(DbgContextType* ctx, uint16_t kind, uint16_t size, uint16_t id, uint16_t module,
                            uint16_t column, uint32_t value, char* str);
void parse_clear(DbgContextType* ctx);
LexToken* parse_getEntry(DbgContextType* ctx, uint16_t index);

}  // namespace quillwatch
