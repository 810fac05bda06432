// Database files: the bytes of a file through the reader; every entry it accepts is read whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quillwatch/engine/shell/ImportExport.h"

using namespace quillwatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ShellDbFile file;
    std::string reason;
    if (!ShellDbFileParse(data, size, &file, &reason)) return 0;
    volatile uint32_t sum = 0;
    for (size_t i = 0; i < file.soundEntries; ++i) {
        const ShellDbFile::Entry& e = file.entries[i];
        for (uint32_t k = 0; k < e.size; ++k) sum = sum + data[e.offset + k];
    }
    for (uint32_t k = 0; k < file.appInfoSize; ++k) sum = sum + data[file.appInfoOffset + k];
    for (uint32_t k = 0; k < file.sortInfoSize; ++k) sum = sum + data[file.sortInfoOffset + k];
    return 0;
}
