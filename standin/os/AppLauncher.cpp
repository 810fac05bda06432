// The OS's application launcher, reduced to what the system's main job needs: a 68K application
// database runs through Morvel, the 68K application environment, once Kez's loader has loaded it.
// Morvel's global context is opened once (its export slot 0); each launch makes the application's
// database the current one, opens it as the OS does before it calls the module, and calls
// Morvel's module entry with a normal launch and new globals.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/FourCC.h"
#include "common/module/A68kSlots.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleInterface.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/StandinOs.h"

namespace vantor::os {
namespace {

constexpr uint16_t kLaunchFlagNewGlobals = 0x04, kLaunchFlagUiApp = 0x08;

void Trace(const std::string& text) {
    reinterpret_cast<syssig::SysTrace*>(SystemTable()[sysslot::SysTrace])(0x0100, "OS launcher: %s",
                                                                          text.c_str());
}

}  // namespace

uint32_t LaunchApplication(const char* name) {
    ModuleProc* kez = KezTable();
    uint32_t refNum = 0;
    ModuleProc* morvel = LoadedModuleTable(FourCC("libr"), FourCC("a68k"), &refNum);
    if (!kez || !morvel) {
        Trace("no 68K application environment is installed");
        return 0;
    }
    uint32_t dbID = FindDatabaseID([&](const DatabaseEntry& db) { return db.name == name; });
    if (!dbID) {
        Trace(std::string("no application named ") + name);
        return 0;
    }
    static bool opened = false;
    if (!opened) {
        uint16_t err = reinterpret_cast<uint16_t (*)()>(morvel[a68kslot::EmulatorOpen])();
        if (err) {
            Trace("the 68K application environment did not open");
            return 0;
        }
        opened = true;
    }
    uint32_t entry = 0;
    auto entries = reinterpret_cast<kezsig::RALGetEntryAddresses*>(kez[kezslot::RALGetEntryAddresses]);
    if (entries(refNum, 0xFFFFFFFF, 0xFFFFFFFF, &entry) != 0 || !entry) {
        Trace("the 68K application environment has no module entry");
        return 0;
    }
    SetCurrentAppDatabase(dbID);
    auto open = reinterpret_cast<syssig::DmOpenDatabaseByID*>(SystemTable()[sysslot::DmOpenDatabaseByID]);
    uint32_t ref = open(dbID, 1);
    auto record = reinterpret_cast<syssig::SysGetTaskRecord*>(SystemTable()[sysslot::SysGetTaskRecord])();
    if (record) std::memcpy(static_cast<uint8_t*>(record) + kTaskRecordAppDbRef, &ref, 4);
    Trace(std::string("launching ") + name);
    auto moduleEntry = reinterpret_cast<ModuleEntryPointProc>(static_cast<uintptr_t>(entry));
    SetApplicationRunning(true);
    uint32_t result = moduleEntry(0, nullptr, kLaunchFlagNewGlobals | kLaunchFlagUiApp);
    SetApplicationRunning(false);
    char line[96];
    std::snprintf(line, sizeof line, "%s ended with 0x%X", name, result);
    Trace(line);
    return result;
}

}  // namespace vantor::os
