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
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kLaunchFlagNewGlobals = 0x04, kLaunchFlagUiApp = 0x08;

// This OS runs 68K applications: Morvel keeps their UI translations in a resource cache.
uint8_t StandinSysIsEmulationAllowed() { return 1; }
VANTOR_OS_SLOT(SysIsEmulationAllowed, StandinSysIsEmulationAllowed)

void Trace(const std::string& text) {
    reinterpret_cast<syssig::SysTrace*>(SystemTable()[sysslot::SysTrace])(0x0100, "OS launcher: %s",
                                                                          text.c_str());
}

ModuleEntryPointProc gLinkedEntry = nullptr;  // SetEmulatorEntry

// The module entry of Morvel as Kez's loader loaded it; null when it is not loaded.
ModuleEntryPointProc LoadedEmulatorEntry(ModuleProc** table) {
    ModuleProc* kez = KezTable();
    uint32_t refNum = 0;
    ModuleProc* morvel = LoadedModuleTable(FourCC("libr"), FourCC("a68k"), &refNum);
    if (table) *table = morvel;
    if (!kez || !morvel) return nullptr;
    uint32_t entry = 0;
    auto entries = reinterpret_cast<kezsig::RALGetEntryAddresses*>(kez[kezslot::RALGetEntryAddresses]);
    if (entries(refNum, 0xFFFFFFFF, 0xFFFFFFFF, &entry) != 0 || !entry) return nullptr;
    return reinterpret_cast<ModuleEntryPointProc>(static_cast<uintptr_t>(entry));
}

// Runs database `dbID` through Morvel's module entry with a launch code, a parameter block and
// launch flags, as the current application with its database open; with `putBack` the current
// application and its open database are put back afterwards.
uint32_t RunThroughEmulator(ModuleEntryPointProc moduleEntry, uint32_t dbID, uint16_t code, void* params,
                            uint16_t flags, bool putBack) {
    uint16_t card = 0;
    uint32_t previous = 0;
    reinterpret_cast<syssig::SysCurAppDatabase*>(SystemTable()[sysslot::SysCurAppDatabase])(&card, &previous);
    SetCurrentAppDatabase(dbID);
    auto open = reinterpret_cast<syssig::DmOpenDatabaseByID*>(SystemTable()[sysslot::DmOpenDatabaseByID]);
    uint32_t ref = open(dbID, 1);
    auto* record = static_cast<uint8_t*>(reinterpret_cast<syssig::SysGetTaskRecord*>(
        SystemTable()[sysslot::SysGetTaskRecord])());
    uint32_t previousRef = 0;
    if (record) {
        std::memcpy(&previousRef, record + kTaskRecordAppDbRef, 4);
        std::memcpy(record + kTaskRecordAppDbRef, &ref, 4);
    }
    uint32_t result = moduleEntry(code, params, flags);
    if (!putBack) return result;
    if (record) std::memcpy(record + kTaskRecordAppDbRef, &previousRef, 4);
    if (ref) reinterpret_cast<syssig::DmCloseDatabase*>(SystemTable()[sysslot::DmCloseDatabase])(ref);
    SetCurrentAppDatabase(previous);
    return result;
}

// A plug-in (slot 498): a database of 68K code ('code' 1) runs through Morvel with the launch
// code and the parameter block, in the caller's task; the plug-in's answer is the result.
uint16_t StandinSysAppLaunchPlugin(uint32_t dbID, uint16_t code, void* params, uint32_t* result) {
    if (result) *result = 0;
    dbID = StoreIDFromLocalID(dbID);  // as slot 87 answers it
    ModuleEntryPointProc entry = gLinkedEntry ? gLinkedEntry : LoadedEmulatorEntry(nullptr);
    auto table = SystemTable();
    uint32_t ref = reinterpret_cast<syssig::DmOpenDatabaseByID*>(table[sysslot::DmOpenDatabaseByID])(dbID, 1);
    if (!ref) return dmErrCantFind;
    const bool has68KCode =
        reinterpret_cast<syssig::DmFindResource*>(table[sysslot::DmFindResource])(ref, FourCC("code"), 1, nullptr) !=
        0xFFFF;
    reinterpret_cast<syssig::DmCloseDatabase*>(table[sysslot::DmCloseDatabase])(ref);
    if (!has68KCode || !entry) {
        Trace(has68KCode ? "no 68K application environment runs the plug-in" : "the plug-in holds no 68K code");
        return dmErrCantFind;
    }
    uint32_t answer = RunThroughEmulator(entry, dbID, code, params, 0, true);
    if (result) *result = answer;
    return 0;
}
VANTOR_OS_SLOT(SysAppLaunchPlugin, StandinSysAppLaunchPlugin)

}  // namespace

void SetEmulatorEntry(ModuleEntryPointProc entry) { gLinkedEntry = entry; }

uint32_t LaunchApplication(const char* name) {
    ModuleProc* morvel = nullptr;
    ModuleEntryPointProc moduleEntry = LoadedEmulatorEntry(&morvel);
    if (!morvel) {
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
    if (!moduleEntry) {
        Trace("the 68K application environment has no module entry");
        return 0;
    }
    Trace(std::string("launching ") + name);
    SetApplicationRunning(true);
    uint32_t result =
        RunThroughEmulator(moduleEntry, dbID, 0, nullptr, kLaunchFlagNewGlobals | kLaunchFlagUiApp, false);
    SetApplicationRunning(false);
    char line[96];
    std::snprintf(line, sizeof line, "%s ended with 0x%X", name, result);
    Trace(line);
    return result;
}

}  // namespace vantor::os
