// How a stopped device is shown: the register window.
#pragma once

#include "quillwatch/engine/debugger/DbgContext.h"

namespace quillwatch {

// Rewrites the register window from the context ("Not Attached" when not attached).
void CmdRefreshRegisterWindow(DbgContextType* ctx);

}  // namespace quillwatch
