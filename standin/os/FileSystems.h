// The stand-in OS's expansion and file-system managers (FileSystems.cpp): what a test sees of them.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor::os {

// The volumes mounted now, in mount order. Reset() forgets every library, volume, open file and
// default folder without calling the libraries.
std::vector<uint16_t> MountedVolumes();

// Mounts the card in a slot now (again, after an unmount on request): its volume's reference, or 0
// when no installed file-system library mounts it.
uint16_t MountCardVolume(uint16_t slotRefNum);
// Unmounts the volumes of a slot's card (before its folder is detached).
void UnmountCardVolumes(uint16_t slotRefNum);

}  // namespace vantor::os
