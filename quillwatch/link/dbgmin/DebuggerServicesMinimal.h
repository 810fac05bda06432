// The minimal debugger services (see DebuggerServices.h) and their one setter.
#pragma once

#include "quillwatch/link/DebuggerServices.h"

namespace quillwatch {

// Attaches or detaches: the engine does this when the device stops or runs.
void DbgMinimalSetAttached(bool attached);

}  // namespace quillwatch
