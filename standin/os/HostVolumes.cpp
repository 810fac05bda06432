// The host-volume entries of the card-slot library that Kez's remote access calls: mounting a
// host folder as a volume (slot 19: path and a word, answering the volume's reference, or 0 when
// the path is not a folder or no file-system library mounts it) and unmounting it (20: the
// reference and optional data, answering whether it was mounted). A mounted folder is the card of
// the lowest free card slot, so the installed file-system library serves it as it serves every
// card; MountedHostVolumes lists what is mounted.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "common/module/CardSlotSlots.h"
#include "standin/os/CardSlots.h"
#include "standin/os/FileSystems.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct HostVolume {
    std::string path;
    uint16_t slotRefNum;
};

struct Volumes {
    std::mutex mutex;
    std::map<uint16_t, HostVolume> mounted;  // by volume reference
};

Volumes& V() {
    static Volumes volumes;
    return volumes;
}

uint32_t StandinMountHostVolume(const char* path, uint32_t) {
    // The file-system library takes a resolved root of fewer than 256 characters.
    char resolved[PATH_MAX];
    struct stat info {};
    if (!path || !realpath(path, resolved) || stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode) ||
        std::strlen(resolved) >= 256)
        return 0;
    uint16_t slot = 1;
    {
        std::lock_guard lock(V().mutex);
        while (CardSlotFind(slot, nullptr)) ++slot;
        CardSlotFolder folder;
        folder.root = resolved;
        CardSlotAttach(slot, folder);
    }
    uint16_t volume = MountCardVolume(slot);
    std::lock_guard lock(V().mutex);
    if (volume == 0) {
        CardSlotDetach(slot);
        return 0;
    }
    V().mounted[volume] = {path, slot};
    return volume;
}
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotMountHostVolume, StandinMountHostVolume)

uint8_t StandinUnmountHostVolume(uint16_t reference, void*) {
    uint16_t slot = 0;
    {
        std::lock_guard lock(V().mutex);
        auto it = V().mounted.find(reference);
        if (it == V().mounted.end()) return 0;
        slot = it->second.slotRefNum;
        V().mounted.erase(it);
    }
    UnmountCardVolumes(slot);
    CardSlotDetach(slot);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(CardSlot, cardslot::CardSlotUnmountHostVolume, StandinUnmountHostVolume)

}  // namespace

void ResetHostVolumes() {
    std::lock_guard lock(V().mutex);
    V().mounted.clear();
}

std::map<uint16_t, std::string> MountedHostVolumes() {
    std::lock_guard lock(V().mutex);
    std::map<uint16_t, std::string> paths;
    for (const auto& [reference, volume] : V().mounted) paths[reference] = volume.path;
    return paths;
}

}  // namespace vantor::os
