// The evaluator and the line runner: a loaded and parsed line is folded into values on the eval
// stack, and a command line is handed to its command module; an expression line prints its values.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

// Runs one command line end to end. `aliasLine` is set only for the lines an alias runs.
uint16_t DbgExecuteLine(DbgContextType* ctx, const char* line, uint8_t aliasLine);

int eval_init(DbgContextType* ctx);
void eval_close(DbgContextType* ctx);
int eval_line(DbgContextType* ctx);
void exec_init(DbgContextType* ctx);
uint16_t exec_line(DbgContextType* ctx);
// Pushes the entry (taking over its text); on overflow reports it, frees the text and gives none.
LexToken* eval_push(LexToken* entry, DbgContextType* ctx);
int eval_dupEntry(const LexToken* entry, DbgContextType* ctx, LexToken* copy);
int PrintEntry(DbgContextType* ctx, const LexToken* entry, bool verbose);

// Argument `index` of the evaluated line (0 is the command), kEvalTopEntry for the top; none past the end.
LexToken* DbgEvalArg(DbgContextType* ctx, uint16_t index);
void EvalStackClear(DbgContextType* ctx);
// Writes the message, the second text (if any) and a line end; for an entry also prints it in
// verbose form and marks its column under the line.
void EvalReportError(DbgContextType* ctx, const char* message, const char* second, const LexToken* entry);

}  // namespace quillwatch
