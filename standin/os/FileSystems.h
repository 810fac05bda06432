// The stand-in OS's expansion and file-system managers (FileSystems.cpp): what a test sees of them.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor::os {

// The volumes mounted now, in mount order. Reset() forgets every library, volume, open file and
// default folder without calling the libraries.
std::vector<uint16_t> MountedVolumes();

}  // namespace vantor::os
