#include "common/ReadFile.h"

#include <cstdio>
#include <memory>

namespace vantor {

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes->append(buffer, n);
    // A directory opens but fails its first read (EISDIR): ferror tells that from an empty file.
    if (std::ferror(file.get())) {
        bytes->clear();
        return false;
    }
    return true;
}

}  // namespace vantor
