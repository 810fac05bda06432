// Device paths of a volume turned into host paths inside the volume's root, with each name matched
// against the host directory without regard to case.
#pragma once

#include "durnix/DurnixTypes.h"

namespace durnix {

// The host path for `devicePath` on `volume`, as a new string that the caller frees with free(),
// or null when the path cannot be resolved or leaves the volume. With `create` the last component
// need not exist (it is the file or directory to be made).
char* PrvFSPathConvert(const DurnixGlobals* globals, const DurnixVolume* volume, const char* devicePath,
                       bool create);

// Replaces `component` by the first entry of `directory` whose name equals it ignoring case (same
// length); leaves it as it is when there is none or the directory cannot be read.
void PrvFSPathMatchCase(const char* directory, char* component);

}  // namespace durnix
