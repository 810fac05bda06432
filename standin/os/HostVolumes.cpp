// The host-volume entries of the card-slot library that Kez's remote access calls: mounting a
// host folder as a volume (slot 19: path and a word, answering a volume reference from 1, or 0
// when the path is not a folder) and unmounting it (20: the reference and optional data,
// answering whether it was mounted). MountedHostVolumes lists what is mounted.
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "common/module/CardSlotSlots.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct Volumes {
    std::mutex mutex;
    std::map<uint16_t, std::string> mounted;
    uint16_t next = 1;
};

Volumes& V() {
    static Volumes volumes;
    return volumes;
}

uint32_t StandinMountHostVolume(const char* path, uint32_t) {
    struct stat info {};
    if (!path || stat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
    std::lock_guard lock(V().mutex);
    uint16_t reference = V().next++;
    V().mounted[reference] = path;
    return reference;
}
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotMountHostVolume, StandinMountHostVolume)

uint8_t StandinUnmountHostVolume(uint16_t reference, void*) {
    std::lock_guard lock(V().mutex);
    return V().mounted.erase(reference) ? 1 : 0;
}
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotUnmountHostVolume, StandinUnmountHostVolume)

}  // namespace

std::map<uint16_t, std::string> MountedHostVolumes() {
    std::lock_guard lock(V().mutex);
    return V().mounted;
}

}  // namespace vantor::os
