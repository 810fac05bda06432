// PIM data exchange (export slots 215 to 223): records that desktop programs leave for an OS
// application as text files "/tmp/PIMAPP_<app>_<index>_<id>.txt", one zero-terminated record of at
// most 4096 bytes each, and the fixed list of record categories.
//
// The names in /tmp are predictable, so the files are opened without following a symbolic link,
// and a new file is created only where none exists (O_EXCL).
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "kez/src/KezModule.h"

namespace kez {
namespace {

constexpr const char* kDirectory = "/tmp";
constexpr uint32_t kRecordSize = 4096;

// Fills in the id from the application and index, or the index from the id, and writes both back.
void Identify(uint32_t app, uint16_t* index, uint32_t* id) {
    if (!index || !id) return;
    if (*id == 0) *id = (app << 16) + *index;
    else if (*index == 0xFFFF) *index = static_cast<uint16_t>(*id & 0xFFFF);
}

void PathOf(char (&path)[96], uint32_t app, uint16_t index, uint32_t id) {
    std::snprintf(path, sizeof path, "%s/PIMAPP_%d_%d_%d.txt", kDirectory, static_cast<int>(app),
                  static_cast<int>(index), static_cast<int>(id));
}

uint16_t PALPimExchangeOpen(uint32_t app, uint32_t* handle) {
    if (handle) *handle = app;
    return 0;
}
KEZ_SLOT_NAMED(PALPimExchangeOpen, PALPimExchangeOpen)

uint16_t PALPimExchangeClose() { return 0; }
KEZ_SLOT_NAMED(PALPimExchangeClose, PALPimExchangeClose)

uint16_t PALPimExchangeCount(uint32_t app, uint32_t, uint32_t* count) {
    DIR* dir = opendir(kDirectory);
    if (!dir) return 0xFFFF;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "PIMAPP_%d_", static_cast<int>(app));
    size_t prefixLength = std::strlen(prefix);
    uint32_t n = 0;
    while (dirent* entry = readdir(dir)) {
        size_t length = std::strlen(entry->d_name);
        if (length >= prefixLength + 4 && std::strncmp(entry->d_name, prefix, prefixLength) == 0 &&
            std::strcmp(entry->d_name + length - 4, ".txt") == 0)
            ++n;
    }
    closedir(dir);
    if (count) *count = n;
    return 0;
}
KEZ_SLOT_NAMED(PALPimExchangeCount, PALPimExchangeCount)

// Reads one record into `buffer` (4096 bytes): at most 4095 bytes of the file and a terminating
// zero, so that the OS always gets a terminated text.
uint16_t PALPimExchangeRead(uint32_t app, uint32_t, uint16_t* index, uint32_t* id, char* buffer, uint32_t* out) {
    if (out) *out = 0;
    if (!index || !id || !buffer) return 0xFFFF;
    Identify(app, index, id);
    char path[96];
    PathOf(path, app, *index, *id);
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0xFFFF;
    size_t have = 0;
    while (have < kRecordSize - 1) {
        ssize_t n = read(fd, buffer + have, kRecordSize - 1 - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    buffer[have] = '\0';
    close(fd);
    return 0;
}
KEZ_SLOT_NAMED(PALPimExchangeRead, PALPimExchangeRead)

uint16_t PALPimExchangeWrite(uint32_t app, uint32_t, uint16_t* index, uint32_t* id, const char* text) {
    if (!index || !id || !text) return 0xFFFF;
    Identify(app, index, id);
    char path[96];
    PathOf(path, app, *index, *id);
    int fd = open(path, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return 0xFFFF;
    size_t length = strnlen(text, kRecordSize - 1) + 1;
    const char* p = text;
    bool ok = true;
    std::string copy;
    if (text[length - 1] != '\0') {  // a longer text is cut at the record's size
        copy.assign(text, length - 1);
        p = copy.c_str();
    }
    size_t done = 0;
    while (ok && done < length) {
        ssize_t n = write(fd, p + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    close(fd);
    return ok ? 0 : 0xFFFF;
}
KEZ_SLOT_NAMED(PALPimExchangeWrite, PALPimExchangeWrite)

uint16_t PALPimExchangeDelete(uint32_t app, uint16_t* index, uint32_t* id) {
    if (!index || !id) return 0xFFFF;
    Identify(app, index, id);
    char path[96];
    PathOf(path, app, *index, *id);
    return unlink(path) == 0 ? 0 : 0xFFFF;
}
KEZ_SLOT_NAMED(PALPimExchangeDelete, PALPimExchangeDelete)

const uint32_t kCategoryIds[4] = {0, 10, 11, 12};
const char* const kCategoryNames[4] = {"Unfiled", "Business", "Home", "Other"};

uint16_t PALPimGetCategories(uint32_t, uint32_t* count, const uint32_t** ids, const char* const** names) {
    if (count) *count = 4;
    if (ids) *ids = kCategoryIds;
    if (names) *names = kCategoryNames;
    return 0;
}
KEZ_SLOT_NAMED(PALPimGetCategories, PALPimGetCategories)

uint16_t PALNullEntry221() { return 0xFFFF; }
KEZ_SLOT_NAMED(PALNullEntry221, PALNullEntry221)
uint16_t PALNullEntry223() { return 0; }
KEZ_SLOT_NAMED(PALNullEntry223, PALNullEntry223)

}  // namespace
}  // namespace kez
