// The scanner of the command language, and the two kinds of user-definable names: variables
// (named values) and aliases (named command text).
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct SymEntryType;

// Prints "Initializing lex...", creates the symbol table and installs the built-in vocabulary.
int lex_init(DbgContextType* ctx);
// Prepares a line for scanning: trims blanks at both ends and refuses lines over 256 characters.
int lex_loadLine(DbgContextType* ctx, const char* text, uint8_t aliasLine);
// Scans the next token of the loaded line into `token` (clearing it first) and returns it.
LexToken* lex_scan(LexToken* token, DbgContextType* ctx);
// Copies a symbol's kind, size, id, module and value into the token (texts are copied).
int lex_getValuePtr(DbgContextType* ctx, const SymEntryType* entry, LexToken* token);
int lex_defineVar(DbgContextType* ctx, const char* name, uint16_t module, uint16_t id,
                  SymEntryType** valueEntry);
int lex_setVarValuePtr(DbgContextType* ctx, SymEntryType* valueEntry, uint16_t kind, uint16_t size,
                       uint32_t value, const char* str);
int lex_setVar(DbgContextType* ctx, uint16_t module, uint16_t id, uint16_t kind, uint16_t size,
               uint32_t value, const char* str);
// The value entry of a variable entry, or none.
SymEntryType* lex_varValueEntry(DbgContextType* ctx, const SymEntryType* var);
int lex_defineAlias(DbgContextType* ctx, const char* name, const char* text, uint16_t module, uint16_t id);
int lex_showAlias(DbgContextType* ctx, const char* name);
void lex_skipLine(DbgContextType* ctx);
// The name of a token kind ("TEOL", "CMD", ...), or "$%08lx  " of the code; `buffer` holds 16 bytes.
const char* lex_tokenName(char* buffer, uint16_t kind);
// Prints the loaded line and, under it, a caret at the column (blanks, tabs copied as tabs).
void lex_showColumn(DbgContextType* ctx, uint16_t column);

}  // namespace quillwatch
