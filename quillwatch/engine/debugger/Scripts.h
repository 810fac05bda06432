// Script files: files of debugger command lines.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

// Runs every line of the script that is not all blanks; the OR of the line results, 1 when the file
// cannot be opened. Colons in the name separate folders: a leading one is dropped, each further
// leading one goes up a folder.
uint16_t CmdRunScript(DbgContextType* ctx, const char* name);

}  // namespace quillwatch
