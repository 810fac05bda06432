// The code-loading entries (system slots 544 and 526): on this host the code of a code database
// (an interface driver, for one) is a module whose file the database names, as the module
// databases of the autoload directory do ("<library>.dll"). Opening the code loads the module
// through Kez's loader (a module already loaded only counts a further use); loading it answers the
// module's entry.
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint16_t kErrNotFound = sysErrLibNotFound;

uint16_t StandinSysCodeOpen(uint32_t dbRef, uint32_t* codeRef) {
    if (!codeRef) return sysErrParamErr;
    *codeRef = 0;
    ModuleProc* kez = KezTable();
    std::string name;
    if (!kez || !WithDatabase(StoreIDFromLocalID(dbRef), [&](DatabaseEntry& db) { name = db.name; }) ||
        name.empty())
        return kErrNotFound;
    // The loader keeps the name it was given for as long as the module stays loaded.
    static std::deque<std::string> names;
    static std::mutex namesMutex;
    const char* kept;
    {
        std::lock_guard lock(namesMutex);
        kept = names.emplace_back(name).c_str();
    }
    RALLoadDescriptor descriptor{};
    descriptor.words[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kept));
    uint32_t refNum = 0;
    auto load = reinterpret_cast<kezsig::RALLoadModule*>(kez[kezslot::RALLoadModule]);
    if (load(&descriptor, 0, nullptr, &refNum) != 0 || !refNum) return kErrNotFound;
    *codeRef = refNum;
    return 0;
}
VANTOR_OS_SLOT(SysCodeOpen, StandinSysCodeOpen)

uint16_t StandinSysCodeLoad(uint32_t codeRef, uint32_t* entry) {
    if (!entry) return sysErrParamErr;
    *entry = 0;
    ModuleProc* kez = KezTable();
    if (!kez || !codeRef) return kErrNotFound;
    auto entries = reinterpret_cast<kezsig::RALGetEntryAddresses*>(kez[kezslot::RALGetEntryAddresses]);
    if (entries(codeRef, 0xFFFFFFFF, 0xFFFFFFFF, entry) != 0 || !*entry) return kErrNotFound;
    return 0;
}
VANTOR_OS_SLOT(SysCodeLoad, StandinSysCodeLoad)

}  // namespace
}  // namespace vantor::os
