// The module's export table ('libr'/'a68k', 58 slots).
#pragma once

#include "common/module/ModuleInterface.h"

namespace morvel {
vantor::ModuleProc* MorvelExportTable();
}
