// What the screen manager asks of the OS: opening a database by type and creator (system slot
// 123, the newest version), and the status-bar layout list (173), which a test or the OS main sets
// with SetStatusBarLayout.
#include <mutex>
#include <vector>

#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/StandinOs.h"

namespace vantor::os {
namespace {

struct Layout {
    std::mutex mutex;
    std::vector<StatusBarLayoutEntry> entries;
    std::vector<StatusBarLayoutEntry> handedOut;  // stays valid until the next call
};

Layout& L() {
    static Layout layout;
    return layout;
}

uint32_t StandinDmOpenDatabaseByTypeCreator(uint32_t type, uint32_t creator, uint16_t mode) {
    uint32_t best = 0;
    uint16_t bestVersion = 0;
    for (size_t i = 0; i < DatabaseCount(); ++i) {
        uint32_t id = DatabaseIDAt(i);
        WithDatabase(id, [&](DatabaseEntry& db) {
            if (db.type == type && db.creator == creator && (best == 0 || db.version > bestVersion)) {
                best = id;
                bestVersion = db.version;
            }
        });
    }
    if (best) WithDatabase(best, [&](DatabaseEntry& db) { NoteOpened(db, mode); });
    return best;
}
VANTOR_OS_SLOT(DmOpenDatabaseByTypeCreator, StandinDmOpenDatabaseByTypeCreator)

const StatusBarLayoutEntry* StandinStatusBarGetLayoutList(uint16_t* count) {
    std::lock_guard lock(L().mutex);
    L().handedOut = L().entries;
    if (count) *count = static_cast<uint16_t>(L().handedOut.size());
    return L().handedOut.data();
}
VANTOR_OS_SLOT(StatusBarGetLayoutList, StandinStatusBarGetLayoutList)

}  // namespace

void SetStatusBarLayout(const std::vector<StatusBarLayoutEntry>& entries) {
    std::lock_guard lock(L().mutex);
    L().entries = entries;
}

}  // namespace vantor::os
