// What the Tamsk fuzz targets share: fatal conditions become an exception the target catches, and
// a scratch file for inputs that the board reads from files.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tamsk/board/RunLoop.h"

namespace tamsk::fuzz {

struct Fatal {};

inline void Throw(const char*) { throw Fatal{}; }

// Catches fatal conditions from here on.
inline void CatchFatal() { HostSetFatalHandler(Throw); }

// A file of this process's own that holds the input.
inline const std::string& ScratchFile(const uint8_t* data, size_t size) {
    static std::string path = [] {
        // In memory where the host has it: the targets write a file for every input.
        char name[] = "/dev/shm/tamsk-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) {
            std::snprintf(name, sizeof name, "%s", "/tmp/tamsk-fuzz-XXXXXX");
            fd = mkstemp(name);
        }
        if (fd >= 0) close(fd);
        std::atexit([] { std::remove(path.c_str()); });
        return std::string(name);
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

}  // namespace tamsk::fuzz
