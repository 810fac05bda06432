// Database import and export.
#include "quillwatch/engine/shell/ImportExport.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

namespace {

constexpr uint32_t kThrowQuiet = 0xFFFFFFFF;
constexpr uint16_t kAttrResource = 0x0001;
constexpr uint16_t kAttrReadOnly = 0x0002;
constexpr uint16_t kModeReadWrite = 3;
constexpr uint16_t kModeReadOnly = 1;

std::string PrvDeviceFolder() {
    return ShellHostPath(HostDeviceFolder());
}

// Import paths: absolute ones (a leading separator, or a colon that does not lead) stay as they are.
std::string PrvImportPath(const char* path) {
    std::string p = path;
    if (!p.empty() && (p[0] == '\\' || p[0] == '/')) return ShellHostPath(p);
    if (p.find(':') != std::string::npos && p[0] != ':') return ShellHostPath(p);
    std::string folder = PrvDeviceFolder();
    if (!p.empty() && p[0] == ':') {
        p.erase(0, 1);
        if (!folder.empty() && folder.back() == ':') folder.pop_back();
    }
    return folder + ShellHostPath(p);
}

std::string PrvExportPath(const char* path) {
    std::string p = path;
    if (!p.empty() && (p[0] == '\\' || p[0] == '/')) return ShellHostPath(p);
    return PrvDeviceFolder() + ShellHostPath(p);
}

void PrvWriteDevice(uint32_t address, const uint8_t* bytes, uint32_t count) {
    if (count) RemoteWriteMem(bytes, address, count);
}

// Locks a chunk, writes the bytes into it and unlocks it.
void PrvFill(uint32_t handle, const uint8_t* bytes, uint32_t size) {
    const uint32_t p = MemHandleLock(handle);
    PrvWriteDevice(p, bytes, size);
    MemHandleUnlock(handle);
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};

}  // namespace

bool ShellDbFileParse(const uint8_t* b, size_t size, ShellDbFile* out, std::string* reason) {
    *out = ShellDbFile{};
    if (size < kDbHeaderSize) {
        *reason = "file too short";
        return false;
    }
    if (!std::memchr(b, 0, 32)) {
        *reason = "name not terminated";
        return false;
    }
    std::memcpy(out->name, b, 32);
    out->attributes = vantor::ReadBE16(b + 32);
    out->version = vantor::ReadBE16(b + 34);
    out->crDate = vantor::ReadBE32(b + 36);
    out->modDate = vantor::ReadBE32(b + 40);
    out->bckDate = vantor::ReadBE32(b + 44);
    out->modNum = vantor::ReadBE32(b + 48);
    out->appInfoOffset = vantor::ReadBE32(b + 52);
    out->sortInfoOffset = vantor::ReadBE32(b + 56);
    out->type = vantor::ReadBE32(b + 60);
    out->creator = vantor::ReadBE32(b + 64);
    out->resource = out->attributes & kAttrResource;
    const uint16_t n = vantor::ReadBE16(b + 76);
    const size_t entrySize = out->resource ? 10 : 8;
    if (kDbHeaderSize + size_t{n} * entrySize > size) {
        *reason = "entry table runs past the end of the file";
        return false;
    }
    for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* e = b + kDbHeaderSize + i * entrySize;
        ShellDbFile::Entry entry{};
        if (out->resource) {
            entry.type = vantor::ReadBE32(e);
            entry.id = vantor::ReadBE16(e + 4);
            entry.offset = vantor::ReadBE32(e + 6);
        } else {
            entry.offset = vantor::ReadBE32(e);
            entry.attributes = e[4];
            entry.uniqueId = (uint32_t{e[5]} << 16) | (uint32_t{e[6]} << 8) | e[7];
        }
        out->entries.push_back(entry);
    }
    // Sizes: each entry runs to the next one's offset, the last to the end of the file.
    out->soundEntries = n;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t start = out->entries[i].offset;
        const uint64_t end = i + 1 < n ? out->entries[i + 1].offset : size;
        if (start > size || end > size || end < start) {
            out->soundEntries = i;
            break;
        }
        out->entries[i].size = static_cast<uint32_t>(end - start);
    }
    // The info blocks run to the next block, the first entry, or the end of the file.
    const uint64_t firstEntry = n ? out->entries[0].offset : size;
    if (out->appInfoOffset) {
        const uint64_t end = out->sortInfoOffset ? out->sortInfoOffset : firstEntry;
        if (out->appInfoOffset > size || end > size || end < out->appInfoOffset) {
            *reason = "application info block outside the file";
            return false;
        }
        out->appInfoSize = static_cast<uint32_t>(end - out->appInfoOffset);
    }
    if (out->sortInfoOffset) {
        if (out->sortInfoOffset > size || firstEntry > size || firstEntry < out->sortInfoOffset) {
            *reason = "sort info block outside the file";
            return false;
        }
        out->sortInfoSize = static_cast<uint32_t>(firstEntry - out->sortInfoOffset);
    }
    return true;
}

std::string ShellSafeFileName(const char* name) {
    std::string s = name;
    if (s.empty() || s == "." || s == "..") return "";
    for (char& c : s) {
        if (c == '/' || c == '\\' || c == ':') c = '_';
    }
    return s;
}

std::vector<std::string> ShellListDirectory(const char* directory) {
    std::vector<std::string> names;
    const std::string path = PrvDeviceFolder() + ShellHostPath(directory);
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            struct stat st;
            if (n == "." || n == ".." || stat((path + "/" + n).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ShellMakeDirectory(const char* directory) {
    mkdir((PrvDeviceFolder() + ShellHostPath(directory)).c_str(), 0777);
}

vantor::Status ShellDeleteDatabase(uint16_t card, uint32_t id) {
    uint16_t attributes = 0;
    if (Status err = DmDatabaseInfo(card, id, nullptr, &attributes, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr))
        return err;
    attributes &= static_cast<uint16_t>(~kAttrReadOnly);
    DmSetDatabaseInfo(card, id, nullptr, &attributes, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr);
    return DmDeleteDatabase(card, id);
}

void ShellImportDatabase(uint16_t card, const char* path, bool keepUniqueIds, bool keepDates, bool verbose) {
    uint32_t db = 0;
    if (Status err = RemoteLinkCheck()) {
        ShellPrintf("\nCommunication problems (could not ping)\n");
        ErrThrow(err);
    }
    const std::string hostPath = PrvImportPath(path);
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        ShellPrintf("\n##ERROR file: '%s' not found\n", hostPath.c_str());
        ErrThrow(kThrowQuiet);
    }
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        ShellPrintf("\n##ERROR Could not read in file");
        ErrThrow(kThrowQuiet);
    }
    ShellDbFile file;
    std::string reason;
    if (!ShellDbFileParse(image.data(), image.size(), &file, &reason)) {
        ShellPrintf("\n##ERROR Invalid database file: %s\n", reason.c_str());
        ErrThrow(kThrowQuiet);
    }
    uint32_t thrown = ErrTry([&] {
        if (uint32_t old = DmFindDatabase(card, file.name)) ShellDeleteDatabase(card, old);
        char typeText[5], creatorText[5];
        ShellTypeToText(typeText, file.type);
        ShellTypeToText(creatorText, file.creator);
        if (verbose)
            ShellPrintf("\nCreating Database on card %d\n name: %s\n type %s, creator %s\n", card, file.name, typeText,
                        creatorText);
        ShellCheck(DmCreateDatabase(card, file.name, file.creator, file.type, file.resource ? 1 : 0));
        const uint32_t id = DmFindDatabase(card, file.name);
        // Filled while writable; the file's own attributes are set at the end.
        uint16_t attributes = static_cast<uint16_t>(file.attributes & ~kAttrReadOnly);
        uint16_t version = file.version;
        uint32_t modNum = file.modNum, type = file.type, creator = file.creator;
        uint32_t crDate = file.crDate, modDate = file.modDate, bckDate = file.bckDate;
        ShellCheck(DmSetDatabaseInfo(card, id, nullptr, &attributes, &version, keepDates ? &crDate : nullptr,
                                     keepDates ? &modDate : nullptr, keepDates ? &bckDate : nullptr, &modNum, nullptr,
                                     nullptr, &type, &creator));
        db = DmOpenDatabase(card, id, kModeReadWrite);
        if (!db) ErrThrow(DmGetLastErr());

        if (!file.resource) {
            auto infoBlock = [&](uint32_t offset, uint32_t size, bool app) {
                if (!offset || !size) return;
                const uint32_t h = DmNewHandle(db, size);
                if (!h) ErrThrow(DmGetLastErr());
                PrvFill(h, image.data() + offset, size);
                uint32_t local = MemHandleToLocalID(h);
                ShellCheck(DmSetDatabaseInfo(card, id, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             app ? &local : nullptr, app ? nullptr : &local, nullptr, nullptr));
            };
            infoBlock(file.appInfoOffset, file.appInfoSize, true);
            infoBlock(file.sortInfoOffset, file.sortInfoSize, false);
        }
        uint16_t heap = 0;
        if (file.resource) {
            const uint32_t probe = DmNewHandle(db, 1);
            if (probe) {
                heap = MemHandleHeapID(probe);
                MemChunkFree(MemHandleLock(probe));
            }
        }
        for (size_t i = 0; i < file.entries.size(); ++i) {
            if (i >= file.soundEntries) {
                ShellPrintf("\nCorrupt database\n\n");
                return;
            }
            const ShellDbFile::Entry& e = file.entries[i];
            const uint8_t* data = image.data() + e.offset;
            if (!file.resource) {
                ShellPrintf("\nImporting record %d (%u bytes)...", static_cast<int>(i), e.size);
                uint16_t at = 0xFFFF;
                if (e.size) {
                    const uint32_t h = DmNewRecord(db, &at, e.size);
                    if (!h) ErrThrow(DmGetLastErr());
                    PrvFill(h, data, e.size);
                } else {
                    ShellCheck(DmAttachRecord(db, &at, 0, nullptr));
                }
                uint16_t attr = e.attributes;
                uint32_t unique = e.uniqueId;
                ShellCheck(DmSetRecordInfo(db, static_cast<uint16_t>(i), &attr, keepUniqueIds ? &unique : nullptr));
                DmReleaseRecord(db, static_cast<uint16_t>(i), 0);
            } else {
                char t[5];
                ShellTypeToText(t, e.type);
                if (verbose) ShellPrintf("\nImporting resource '%s'=%d (%u bytes)....", t, e.id, e.size);
                uint32_t h = DmNewResource(db, e.type, e.id, e.size);
                if (!h) {
                    const uint32_t chunk = MemChunkNew(heap, e.size, 0x1003);
                    if (chunk && DmAttachResource(db, chunk, e.type, e.id) == 0) h = chunk;
                }
                if (!h) ErrThrow(DmGetLastErr());
                PrvFill(h, data, e.size);
                DmReleaseResource(h);
            }
        }
    });
    if (db) {
        uint32_t closeErr = ErrTry([&] { DmCloseDatabase(db); });
        (void)closeErr;
    }
    if (thrown) ErrThrow(thrown);
    if (file.soundEntries < file.entries.size()) return;
    const uint32_t id = DmFindDatabase(card, file.name);
    uint16_t attributes = file.attributes;
    DmSetDatabaseInfo(card, id, nullptr, &attributes, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr);
    ShellPrintf("\n\nDone!!\n\n");
}

void ShellExportDatabase(uint16_t card, const char* name, const char* path) {
    const uint32_t id = DmFindDatabase(card, name);
    if (!id) ErrThrow(DmGetLastErr());
    uint16_t attributes = 0, version = 0;
    uint32_t crDate = 0, modDate = 0, bckDate = 0, modNum = 0, appInfo = 0, sortInfo = 0, type = 0, creator = 0;
    ShellCheck(DmDatabaseInfo(card, id, nullptr, &attributes, &version, &crDate, &modDate, &bckDate, &modNum, &appInfo,
                              &sortInfo, &type, &creator));
    const bool resource = attributes & kAttrResource;
    std::string hostPath = PrvExportPath(path);
    auto endsWith = [&](const char* ext) {
        const size_t n = std::strlen(ext);
        return hostPath.size() >= n && hostPath.compare(hostPath.size() - n, n, ext) == 0;
    };
    if (!endsWith(".wyx") && !endsWith(".vrx")) hostPath += resource ? ".vrx" : ".wyx";

    const uint32_t db = DmOpenDatabase(card, id, kModeReadOnly);
    if (!db) ErrThrow(DmGetLastErr());
    std::unique_ptr<FILE, FileCloser> f;
    uint32_t thrown = ErrTry([&] {
        f.reset(std::fopen(hostPath.c_str(), "w+b"));
        if (!f) {
            ShellPrintf("Error creating output file");
            ErrThrow(kThrowQuiet);
        }
        const uint16_t n = DmNumRecords(db);
        std::vector<uint8_t> block(80 + 10u * n, 0);
        std::memcpy(block.data(), name, std::min<size_t>(std::strlen(name), 31));
        vantor::WriteBE16(&block[32], attributes);
        vantor::WriteBE16(&block[34], version);
        vantor::WriteBE32(&block[36], crDate);
        vantor::WriteBE32(&block[40], modDate);
        vantor::WriteBE32(&block[44], bckDate);
        vantor::WriteBE32(&block[48], modNum);
        vantor::WriteBE32(&block[60], type);
        vantor::WriteBE32(&block[64], creator);
        vantor::WriteBE16(&block[76], n);
        uint32_t offset = static_cast<uint32_t>(block.size());
        auto write = [&](const void* data, size_t size, const char* message) {
            if (size && std::fwrite(data, 1, size, f.get()) != size) {
                ShellPrintf("%s", message);
                ErrThrow(kThrowQuiet);
            }
        };
        auto copyChunk = [&](uint32_t handle, const char* message) {
            const uint32_t size = MemHandleSize(handle);
            const uint32_t p = MemHandleLock(handle);
            std::vector<uint8_t> data(size);
            if (size) RemoteReadMem(p, size, data.data());
            MemPtrUnlock(p);
            write(data.data(), data.size(), message);
        };
        if (resource) {
            for (uint16_t i = 0; i < n; ++i) {
                ShellPrintf("\nGetting info on resource %d....", i);
                uint32_t rtype = 0;
                uint16_t rid = 0;
                ShellCheck(DmResourceInfo(db, i, &rtype, &rid, nullptr));
                uint32_t size = 0;
                if (uint32_t h = DmGetResourceIndex(db, i)) {
                    size = MemHandleSize(h);
                    DmReleaseResource(h);
                }
                uint8_t* e = &block[kDbHeaderSize + 10u * i];
                vantor::WriteBE32(e, rtype);
                vantor::WriteBE16(e + 4, rid);
                vantor::WriteBE32(e + 6, offset);
                offset += size;
            }
            write(block.data(), block.size(), "\nError writing file");
            for (uint16_t i = 0; i < n; ++i) {
                uint32_t rtype = 0, local = 0;
                uint16_t rid = 0;
                ShellCheck(DmResourceInfo(db, i, &rtype, &rid, &local));
                char t[5];
                ShellTypeToText(t, rtype);
                ShellPrintf("\nExporting resource '%s'=%d....", t, rid);
                if (!local) continue;
                const uint32_t h = DmGetResourceIndex(db, i);
                if (!h) {
                    ShellPrintf("Error getting resource");
                    ErrThrow(kThrowQuiet);
                }
                copyChunk(h, "Error Writing output file");
                DmReleaseResource(h);
            }
        } else {
            uint32_t appHandle = 0, sortHandle = 0;
            if (appInfo) {
                vantor::WriteBE32(&block[52], offset);
                appHandle = MemLocalIDToGlobal(appInfo, card);
                if (!appHandle) {
                    ShellPrintf("Error getting appInfo");
                    ErrThrow(kThrowQuiet);
                }
                offset += MemHandleSize(appHandle);
            }
            if (sortInfo) {
                vantor::WriteBE32(&block[56], offset);
                sortHandle = MemLocalIDToGlobal(sortInfo, card);
                if (!sortHandle) {
                    ShellPrintf("Error getting sortInfo");
                    ErrThrow(kThrowQuiet);
                }
                offset += MemHandleSize(sortHandle);
            }
            for (uint16_t i = 0; i < n; ++i) {
                ShellPrintf("\nGetting info on record %d....", i);
                uint16_t attr = 0;
                uint32_t unique = 0;
                if (DmRecordInfo(db, i, &attr, &unique, nullptr) != 0) {
                    ShellPrintf("\n## Error getting record info for record #%d", i);
                    ErrThrow(kThrowQuiet);
                }
                const uint32_t h = DmQueryRecord(db, i);
                uint8_t* e = &block[kDbHeaderSize + 8u * i];
                vantor::WriteBE32(e, offset);
                e[4] = static_cast<uint8_t>(attr);
                e[5] = static_cast<uint8_t>(unique >> 16);
                e[6] = static_cast<uint8_t>(unique >> 8);
                e[7] = static_cast<uint8_t>(unique);
                if (h) offset += MemHandleSize(h);
            }
            write(block.data(), block.size(), "\nError writing file");
            if (appHandle) copyChunk(appHandle, "Error Writing output file");
            if (sortHandle) copyChunk(sortHandle, "Error Writing output file");
            for (uint16_t i = 0; i < n; ++i) {
                ShellPrintf("\nExporting record #%d....", i);
                if (DmRecordInfo(db, i, nullptr, nullptr, nullptr) != 0) {
                    ShellPrintf("Error getting record");
                    ErrThrow(kThrowQuiet);
                }
                if (uint32_t h = DmQueryRecord(db, i)) copyChunk(h, "Error Writing output file");
            }
        }
    });
    ErrTry([&] { DmCloseDatabase(db); });
    if (thrown) ErrThrow(thrown);
}

void ShellExportDatabaseByName(uint16_t card, const char* name) {
    const std::string file = ShellSafeFileName(name);
    if (file.empty()) {
        ShellPrintf("\n##ERROR: '%s' cannot be a host file name\n", name);
        ErrThrow(kThrowQuiet);
    }
    ShellExportDatabase(card, name, file.c_str());
}

}  // namespace quillwatch
