#include "tamsk/board/Rom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"

namespace tamsk {

namespace {

constexpr uint32_t kCmdlineLimit = 0x7FFFFFF;
constexpr uint32_t kCmdlineSpace = 512;  // the record ends within offset + 511
constexpr uint32_t kCmdlineHeader = 12;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The file's length, or -1.
// -1 for what is not a regular file (a directory opens for reading but has no length).
// Opens a file for reading without waiting: a FIFO named in a ROM list or a session would
// otherwise block the open. What is not a regular file is then refused by FileLength.
FILE* OpenNoWait(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return file;
}

long FileLength(FILE* file) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) return -1;
    return length;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

int RomFileKind(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (!dot) return kFileUnknown;
    char extension[16];
    size_t n = 0;
    for (const char* p = dot; *p && n < sizeof extension - 1; ++p)
        extension[n++] = char(std::tolower(static_cast<unsigned char>(*p)));
    extension[n] = '\0';
    static const struct {
        const char* extension;
        int kind;
    } kKinds[] = {{".widebin", kFileRawImage}, {".aeb", kFileRawImage},
                  {".indirect", kFileRomList}, {".aei", kFileRomList},
                  {".session", kFileSession},  {".aes", kFileSession}};
    for (const auto& k : kKinds)
        if (std::strcmp(extension, k.extension) == 0) return k.kind;
    return kFileUnknown;
}

char* RomPath() { return Opt.ROM; }

std::string RomItemPath(const char* listPath, const char* itemPath) {
    std::string item = itemPath;
    for (char& c : item)
        if (c == '\\') c = '/';
    if (!item.empty() && item[0] == '/') return item;
    const std::string list = listPath;
    const size_t slash = list.find_last_of("/\\");
    return slash == std::string::npos ? item : list.substr(0, slash + 1) + item;
}

bool RomParseListItem(const std::string& text, size_t* pos, RomListItem* item) {
    size_t i = *pos;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    // Area: up to four characters up to ':'.
    size_t a = 0;
    while (i < n && text[i] != ':' && a < 4) item->area[a++] = text[i++];
    item->area[a] = '\0';
    if (a == 0 || i >= n || text[i] != ':') return *pos = n, false;
    ++i;
    // Hexadecimal offset, as "%x" reads it (blanks, an optional 0x), up to ':'.
    while (i < n && IsBlank(text[i])) ++i;
    if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    uint64_t offset = 0;
    size_t digits = 0;
    while (i < n && std::isxdigit(static_cast<unsigned char>(text[i]))) {
        const int c = std::tolower(static_cast<unsigned char>(text[i++]));
        offset = offset * 16 + uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
        if (offset > 0xFFFFFFFFu) offset = 0xFFFFFFFFu;  // too far for any area
        ++digits;
    }
    if (digits == 0 || i >= n || text[i] != ':') return *pos = n, false;
    ++i;
    item->offset = uint32_t(offset);
    // Path: up to the line feed, at most 259 characters; a carriage return before it is dropped.
    size_t p = 0;
    while (i < n && text[i] != '\n') {
        if (p < sizeof item->path - 1) item->path[p++] = text[i];
        ++i;
    }
    if (p && item->path[p - 1] == '\r') --p;
    item->path[p] = '\0';
    *pos = i;
    return p != 0;
}

int MemLoadRomItem(const char* area, uint32_t offset, const char* path) {
    if (!path || !path[0]) return 0;
    File file(OpenNoWait(path));
    if (!file) HostFatal("The file %s could not be opened", path);
    const long length = FileLength(file.get());
    if (length < 0) HostFatal("The file %s could not be read", path);

    uint8_t* target = nullptr;
    uint64_t size = 0, start = offset;
    const bool cmdline = std::strcmp(area, "CMDL") == 0;
    if (std::strcmp(area, "NAND") == 0 || cmdline) {
        target = MemNandData;
        size = kNandDataSize;
    } else if (std::strcmp(area, "NOR") == 0 || std::strcmp(area, "NOR ") == 0) {
        target = MemNor;
        size = kNorSize;
    } else if (std::strcmp(area, "SRAM") == 0) {
        target = MemSram;
        size = kSramSize;
        start = uint32_t(offset - kSramBase);
    } else if (std::strcmp(area, "DRAM") == 0) {
        target = MemDram;
        size = kDramSize;
        start = uint32_t(offset - kDramBase);
    } else {
        HostFatal("Can't load %s\n\nNot a recognized memory area for machine %s", path, kMachineName);
    }

    if (cmdline) {
        if (uint64_t(offset) + kCmdlineSpace > kCmdlineLimit)
            HostFatal("The kernel command line can't be stored at offset 0x%X in the %s NAND area.\n"
                      "The offset is out of range for the emulated machine, or the command line is "
                      "too long.",
                      offset, kMachineName);
        if (length < 0 || uint64_t(length) + kCmdlineHeader + 1 > kCmdlineSpace)
            HostFatal("The file %s is too large to fit in the %s %s area", path, kMachineName, area);
    } else if (length < 0 || start + uint64_t(length) > size - 1) {
        HostFatal("The file %s is too large to fit in the %s %s area", path, kMachineName, area);
    }

    if (target == MemNandData) MemNandTouch(start, uint64_t(length) + (cmdline ? kCmdlineHeader + 1 : 0));
    uint8_t* at = target + start + (cmdline ? kCmdlineHeader : 0);
    if (length == 0 || std::fread(at, 1, size_t(length), file.get()) != size_t(length))
        HostFatal("The file %s could not be read", path);
    if (cmdline) {
        uint8_t* record = target + start;
        ChunkPut32(record, 0xFEEDFACE);
        ChunkPut32(record + 4, uint32_t(length + 13) >> 2);
        ChunkPut32(record + 8, 0x54410009);
        record[kCmdlineHeader + length] = 0;
    }
    return 1;
}

void RomLoadList(const std::string& text, const char* listPath) {
    size_t pos = 0;
    RomListItem item;
    int loaded = 0;
    while (RomParseListItem(text, &pos, &item)) {
        const std::string path = RomItemPath(listPath, item.path);
        if (!MemLoadRomItem(item.area, item.offset, path.c_str())) break;
        ++loaded;
    }
    if (loaded == 0) HostFatal("Failed to parse or load ROM file");
}

void MemReloadRom() {
    struct stat st;
    if (stat(RomPath(), &st) == 0 && S_ISREG(st.st_mode)) {
        MemLoadRom();
        return;
    }
    std::fprintf(stderr, "tamsk: the session's ROM %s cannot be opened; NOR keeps what it holds\n",
                 RomPath());
}

void MemLoadRom() {
    const char* path = RomPath();
    File file(OpenNoWait(path));
    // No ROM dialog can be shown here: a missing ROM ends the program.
    if (!file) HostFatal("ROM file not found\n%s", path);
    const long length = FileLength(file.get());
    if (length < 0) HostFatal("The file %s could not be read", path);
    if (RomFileKind(path) == kFileRomList) {
        MemEraseNand();
        std::string text(size_t(length), '\0');
        if (length && std::fread(text.data(), 1, text.size(), file.get()) != text.size())
            HostFatal("The file %s could not be read", path);
        RomLoadList(text, path);
        return;
    }
    if (uint64_t(length) > kNorSize)
        HostFatal("The file %s is too large to fit in the %s %s area", path, kMachineName, "NOR");
    if (length && std::fread(MemNor, 1, size_t(length), file.get()) != size_t(length))
        HostFatal("The file %s could not be read", path);
}

}  // namespace tamsk
