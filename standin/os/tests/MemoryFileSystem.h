// A file-system library ('libf', creator 'memf') whose files are byte strings in memory, for the
// tests and fuzz targets of the OS's file calls: Install() registers it and mounts the card of a
// slot with it. One instance at a time.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/FourCC.h"
#include "common/module/FsLibCalls.h"
#include "standin/os/CardSlots.h"
#include "standin/os/FileSystems.h"
#include "standin/os/StandinOs.h"

namespace vantor::os {

class MemoryFileSystem {
public:
    std::map<std::string, std::vector<uint8_t>> files;

    // The volume of the card in `slot`, or 0 when it did not mount.
    uint16_t Install(uint16_t slot) {
        namespace fs = fslibslot;
        Self() = this;
        for (uint16_t s : {fs::FSLibOpen, fs::FSLibClose, fs::FSVolumeUnmount})
            table_[s] = reinterpret_cast<ModuleProc>(&Ok);
        table_[fs::FSVolumeMount] = reinterpret_cast<ModuleProc>(&Mount);
        table_[fs::FSFileCreate] = reinterpret_cast<ModuleProc>(&Create);
        table_[fs::FSFileDelete] = reinterpret_cast<ModuleProc>(&Delete);
        table_[fs::FSFileOpen] = reinterpret_cast<ModuleProc>(&Open);
        table_[fs::FSFileClose] = reinterpret_cast<ModuleProc>(&Close);
        table_[fs::FSFileRead] = reinterpret_cast<ModuleProc>(&Read);
        table_[fs::FSFileWrite] = reinterpret_cast<ModuleProc>(&Write);
        table_[fs::FSFileSeek] = reinterpret_cast<ModuleProc>(&Seek);
        table_[fs::FSFileSize] = reinterpret_cast<ModuleProc>(&Size);
        RegisterTable(FourCC("libf"), FourCC("memf"), table_, fs::kSlotCount);
        CardSlotAttach(slot, {"/memory", false, 0, 0});
        return MountCardVolume(slot);
    }
    void Uninstall() {
        UnregisterModule(FourCC("libf"), FourCC("memf"));
        Self() = nullptr;
    }

private:
    static MemoryFileSystem*& Self() {
        static MemoryFileSystem* self = nullptr;
        return self;
    }
    static uint16_t Ok() { return 0; }
    static uint16_t Mount(uint32_t) { return 0; }
    static uint16_t Create(uint16_t, const char* path) {
        return Self()->files.emplace(path, std::vector<uint8_t>{}).second ? 0 : 0x2A06;
    }
    static uint16_t Delete(uint16_t, const char* path) { return Self()->files.erase(path) ? 0 : 0x2A08; }
    // A mode without read access (0x02) empties the file, as a host file opened for writing.
    static uint16_t Open(uint16_t, const char* path, uint16_t mode, uint32_t* ref) {
        auto it = Self()->files.find(path);
        if (it == Self()->files.end()) return 0x2A08;
        if (!(mode & 0x02)) it->second.clear();
        *ref = Self()->nextRef_++;
        Self()->open_[*ref] = {path, 0};
        return 0;
    }
    static uint16_t Close(uint32_t ref) { return Self()->open_.erase(ref) ? 0 : 0x2A03; }
    static uint16_t Read(uint32_t ref, uint32_t count, void* buffer, uint32_t offset, uint8_t,
                         uint32_t* read) {
        auto& [path, at] = Self()->open_.at(ref);
        const std::vector<uint8_t>& bytes = Self()->files[path];
        const size_t n = std::min<size_t>(count, bytes.size() - std::min(at, bytes.size()));
        if (n) std::memcpy(static_cast<uint8_t*>(buffer) + offset, bytes.data() + at, n);
        at += n;
        if (read) *read = static_cast<uint32_t>(n);
        return n < count ? 0x2A07 : 0;
    }
    static uint16_t Write(uint32_t ref, uint32_t count, const void* data, uint32_t* written) {
        auto& [path, at] = Self()->open_.at(ref);
        std::vector<uint8_t>& bytes = Self()->files[path];
        bytes.resize(std::max(bytes.size(), at + count));
        std::memcpy(bytes.data() + at, data, count);
        at += count;
        *written = count;
        return 0;
    }
    static uint16_t Seek(uint32_t ref, uint16_t, int32_t offset) {
        Self()->open_.at(ref).second = offset < 0 ? 0 : static_cast<size_t>(offset);
        return 0;
    }
    static uint16_t Size(uint32_t ref, uint32_t* size) {
        *size = static_cast<uint32_t>(Self()->files[Self()->open_.at(ref).first].size());
        return 0;
    }

    std::map<uint32_t, std::pair<std::string, size_t>> open_;
    uint32_t nextRef_ = 0x40;
    ModuleProc table_[fslibslot::kSlotCount] = {};
};

}  // namespace vantor::os
