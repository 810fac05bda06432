// Reads a whole file into memory. A path that names a directory, or a file that fails while it is
// read, is an error like a file that cannot be opened: callers report it and go on.
#pragma once

#include <string>

namespace vantor {

// True with the file's bytes in *bytes; false (and *bytes empty) when it cannot be read whole.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace vantor
