// The 68K entry of the library: each library trap reads the 68K caller's parameters from its
// stack frame through the 68K environment, runs the operation and writes the results back into
// 68K memory, big-endian, before it sets the caller's result register.
#include <cstring>

#include "common/module/ModuleInterface.h"
#include "durnix/Durnix.h"
#include "durnix/DurnixOS.h"

namespace durnix {
namespace {

namespace sig = vantor::a68ksig;
namespace slot = vantor::a68kslot;

constexpr uint16_t kTrapFirst = 0xA801;
constexpr uint16_t kTrapCount = 32;
constexpr char kLibraryName[] = "Host File System Library";

// One 68K call: its context and typed access to the frame and to 68K memory.
struct Call68K {
    void* c;

    uint16_t U16(uint16_t offset) const {
        return static_cast<uint16_t>(os::A68k<sig::A68kGetArgInt16>(slot::A68kGetArgInt16, c, offset));
    }
    uint32_t U32(uint16_t offset) const { return os::A68k<sig::A68kGetArgUInt32>(slot::A68kGetArgUInt32, c, offset); }
    template <typename T>
    T* Ptr(uint16_t offset) const {
        return reinterpret_cast<T*>(static_cast<uintptr_t>(U32(offset)));
    }
    uint16_t Read16(uint32_t p) const {
        return static_cast<uint16_t>(os::A68k<sig::A68kReadInt16>(slot::A68kReadInt16, c, p, 0u));
    }
    uint32_t Read32(uint32_t p) const { return os::A68k<sig::A68kReadUInt32>(slot::A68kReadUInt32, c, p, 0u); }
    void Write16(uint32_t p, uint16_t v) const {
        if (p) os::A68k<sig::A68kWriteInt16>(slot::A68kWriteInt16, c, p, 0u, v);
    }
    void Write32(uint32_t p, uint32_t v) const {
        if (p) os::A68k<sig::A68kWriteUInt32>(slot::A68kWriteUInt32, c, p, 0u, v);
    }
    uint16_t ToNative(void* native, uint32_t p, const uint8_t* layout) const {
        return os::A68k<sig::A68kRecordToNative>(slot::A68kRecordToNative, c, native, p, layout);
    }
    uint16_t To68K(const void* native, uint32_t p, const uint8_t* layout) const {
        return os::A68k<sig::A68kRecordTo68K>(slot::A68kRecordTo68K, c, native, p, layout);
    }
    void Result16(Status s) const { os::A68k<sig::A68kSetResultInt16>(slot::A68kSetResultInt16, c, uint32_t{s}); }
    void Result32(uint32_t v) const { os::A68k<sig::A68kSetResultUInt32>(slot::A68kSetResultUInt32, c, v); }
};

// A u32 out-value: a native variable handed to the operation, written to the 68K pointer after
// the call whatever its status (a null 68K pointer stays null).
struct Out32 {
    const Call68K& call;
    uint32_t p;
    uint32_t value = 0;
    Out32(const Call68K& k, uint32_t pointer) : call(k), p(pointer) {}
    uint32_t* Native() { return p ? &value : nullptr; }
    ~Out32() { call.Write32(p, value); }
};

Status Glue(const Call68K& k, uint16_t n) {
    switch (n) {
        case 0: return FSLibOpen();
        case 1: return FSLibClose();
        case 2: return FSLibSleep();
        case 3: return FSLibWake();
        case 5: {
            uint32_t lengthP = k.U32(12);
            uint16_t length = lengthP ? k.Read16(lengthP) : 0;
            Status s = FSCustomControl(k.U32(2), k.U16(6), k.Ptr<void>(8), lengthP ? &length : nullptr);
            k.Write16(lengthP, length);
            return s;
        }
        case 6: {
            Out32 type(k, k.U32(2));
            return FSFilesystemType(type.Native());
        }
        case 7: return FSFileCreate(k.U16(2), k.Ptr<const char>(4));
        case 8: {
            Out32 ref(k, k.U32(10));
            return FSFileOpen(k.U16(2), k.Ptr<const char>(4), k.U16(8), ref.Native());
        }
        case 9: return FSFileClose(k.U32(2));
        case 10: {
            Out32 count(k, k.U32(20));
            return FSFileRead(k.U32(2), k.U32(6), k.Ptr<void>(10), k.U32(14), static_cast<uint8_t>(k.U16(18)),
                              count.Native());
        }
        case 11: {
            Out32 count(k, k.U32(14));
            return FSFileWrite(k.U32(2), k.U32(6), k.Ptr<const void>(10), count.Native());
        }
        case 12: return FSFileDelete(k.U16(2), k.Ptr<const char>(4));
        case 13: return FSFileRename(k.U16(2), k.Ptr<const char>(4), k.Ptr<const char>(8));
        case 14: return FSFileSeek(k.U32(2), k.U16(6), static_cast<int32_t>(k.U32(8)));
        case 15: return FSFileEOF(k.U32(2));
        case 16: {
            Out32 position(k, k.U32(6));
            return FSFileTell(k.U32(2), position.Native());
        }
        case 17: return FSFileResize(k.U32(2), k.U32(6));
        case 18: {
            Out32 attributes(k, k.U32(6));
            return FSFileGetAttributes(k.U32(2), attributes.Native());
        }
        case 19: return FSFileSetAttributes(k.U32(2), k.U32(6));
        case 20: {
            Out32 date(k, k.U32(8));
            return FSFileGetDate(k.U32(2), k.U16(6), date.Native());
        }
        case 21: return FSFileSetDate(k.U32(2), k.U16(6), k.U32(8));
        case 22: {
            Out32 size(k, k.U32(6));
            return FSFileSize(k.U32(2), size.Native());
        }
        case 23: return FSDirCreate(k.U16(2), k.Ptr<const char>(4));
        case 24: {
            uint32_t iteratorP = k.U32(6), infoP = k.U32(10);
            uint32_t iterator = iteratorP ? k.Read32(iteratorP) : 0;
            DurnixDirEntryInfo info{};
            if (infoP) {
                if (Status s = k.ToNative(&info, infoP, kDirEntryInfoLayout)) return s;
            }
            Status s = FSDirEntryEnumerate(k.U32(2), iteratorP ? &iterator : nullptr, infoP ? &info : nullptr);
            k.Write32(iteratorP, iterator);
            if (infoP) k.To68K(&info, infoP, kDirEntryInfoLayout);
            return s;
        }
        case 25: return FSVolumeFormat(k.U32(2));
        case 26: return FSVolumeMount(k.U32(2));
        case 27: return FSVolumeUnmount(k.U16(2));
        case 28: {
            uint32_t infoP = k.U32(4);
            DurnixVolumeInfo info{};
            Status s = FSVolumeInfo(k.U16(2), infoP ? &info : nullptr);
            if (infoP) k.To68K(&info, infoP, kVolumeInfoLayout);
            return s;
        }
        case 29: return FSVolumeGetLabel(k.U16(2), k.Ptr<char>(4), k.U16(8));
        case 30: return FSVolumeSetLabel(k.U16(2), k.Ptr<const char>(4));
        case 31: {
            Out32 used(k, k.U32(4)), total(k, k.U32(8));
            return FSVolumeSize(k.U16(2), used.Native(), total.Native());
        }
    }
    return errTrapNotServed;
}

}  // namespace

uint16_t LibTrapDispatch68K(void* context, vantor::A68kLibTableEntry*, uint16_t trap) {
    vantor::sys::SysTrace(0x500, "QEL: LibTrapDispatch68K()");
    if (trap < kTrapFirst || trap >= kTrapFirst + kTrapCount) return errTrapNotServed;
    const Call68K k{context};
    const auto n = static_cast<uint16_t>(trap - kTrapFirst);
    if (n == 4) {
        k.Result32(FSLibAPIVersion());
        return 0;
    }
    // Out-values are written back (their destructors) before the result register is set.
    Status s = Glue(k, n);
    k.Result16(s);
    return 0;
}

uint16_t DurnixLibEntry68K(void* context, vantor::A68kLibTableEntry* entry, uint16_t selector) {
    switch (selector) {
        case vantor::kA68kLibSelectorName:
            if (entry) entry->name = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kLibraryName));
            return 0;
        case vantor::kA68kLibSelectorClose: return 0;
        default: return LibTrapDispatch68K(context, entry, selector);
    }
}

uint32_t DurnixModuleEntry(uint16_t launchCode, void* param, uint16_t) {
    if (launchCode == vantor::ModuleLaunchCodeGetEntry && param) {
        auto entry = reinterpret_cast<uintptr_t>(&DurnixLibEntry68K);
        uint32_t value = static_cast<uint32_t>(entry);
        std::memcpy(param, &value, sizeof value);
    }
    return 0;
}

}  // namespace durnix
