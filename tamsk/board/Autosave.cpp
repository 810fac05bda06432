#include "tamsk/board/Autosave.h"

#include <cstdio>
#include <string>

#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"

namespace tamsk {

namespace {
unsigned g_autoSaveCount;
}

void HostAutoSave() {
    std::string path = Opt.AutoSavePath;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    char name[32];
    std::snprintf(name, sizeof name, "autosave_%03u.aes", g_autoSaveCount);
    path += name;
    if (path.size() > kSessionPathSize - 1) return;
    ++g_autoSaveCount;
    SessSetPath(path.c_str());
    CpuRequestRunEnd(kRunSave);
}

}  // namespace tamsk
