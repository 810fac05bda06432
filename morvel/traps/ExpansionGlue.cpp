#include "morvel/traps/ExpansionGlue.h"

#include <cstring>

#include "morvel/cpu/MorvelCpu.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

constexpr const char* kFile = "Expansion68K";

// How one argument is read from the 68K block and handed to the OS.
enum Kind : uint8_t {
    kEnd,
    kU32,
    kU16,
    kU8,
    kPtr,          // passed as it is (text, buffers, names)
    kOut8,         // a native local when the 68K pointer is non-null, stored back
    kOut16,
    kOut32,
    kOut16Always,  // a native local even for a null 68K pointer
    kIo16,         // read first, then as kOut16
    kIo32,
    kFileEntry,    // 10-byte file entry record, in and out
    kVolumeInfo,   // 28-byte volume information record, out
    kCardInfo,     // 132-byte card information record, out
    kCallback,     // 68K progress callback, its user value 4 bytes further
};
struct Arg {
    Kind kind;
    uint8_t offset;
};
struct Selector {
    uint16_t slot;
    Arg args[14];
};

constexpr Selector kExpansion[] = {
    {0, {}},
    {223, {{kU32, 0}, {kOut16, 4}}},
    {224, {{kU16, 0}}},
    {226, {{kU16, 0}, {kOut16, 2}}},
    {227, {{kU16, 0}, {kOut16, 2}}},
    {228, {{kU16, 0}}},
    {219, {{kU16, 0}}},
    {221, {{kU16, 0}}},
    {220, {{kU16, 0}}},
    {218, {{kU16, 0}, {kCardInfo, 2}}},
    {225, {{kIo16, 0}, {kIo32, 4}}},
    {217, {{kU16, 0}, {kOut32, 2}}},
};

constexpr Selector kFileSystem[] = {
    {0, {}},
    {654, {{kU32, 0}, {kU32, 4}, {kU16, 8}, {kU32, 10}, {kIo16, 14}}},
    {662, {{kU16, 0}, {kPtr, 2}}},
    {670, {{kU16, 0}, {kPtr, 2}, {kU16, 6}, {kOut32, 8}}},
    {661, {{kU32, 0}}},
    {672, {{kU32, 0}, {kU32, 4}, {kPtr, 8}, {kU32, 12}, {kOut32, 16}}},
    {671, {{kU32, 0}, {kU32, 4}, {kPtr, 8}, {kOut32, 12}}},
    {680, {{kU32, 0}, {kU32, 4}, {kPtr, 8}, {kOut32, 12}}},
    {666, {{kU16, 0}, {kPtr, 2}}},
    {673, {{kU16, 0}, {kPtr, 2}, {kPtr, 6}}},
    {675, {{kU32, 0}, {kU16, 4}, {kU32, 6}}},
    {667, {{kU32, 0}}},
    {679, {{kU32, 0}, {kOut32, 4}}},
    {674, {{kU32, 0}, {kU32, 4}}},
    {668, {{kU32, 0}, {kOut32, 4}}},
    {676, {{kU32, 0}, {kU32, 4}}},
    {669, {{kU32, 0}, {kU16, 4}, {kOut32, 6}}},
    {677, {{kU32, 0}, {kU16, 4}, {kU32, 6}}},
    {678, {{kU32, 0}, {kOut32, 4}}},
    {655, {{kU16, 0}, {kPtr, 2}}},
    {656, {{kU32, 0}, {kIo32, 4}, {kFileEntry, 8}}},
    {681, {{kU16, 0}, {kPtr, 2}, {kPtr, 6}, {kIo16, 10}}},
    {688, {{kPtr, 0}, {kU32, 4}, {kPtr, 8}}},
    {690, {{kPtr, 0}, {kU32, 4}}},
    {692, {{kU8, 0}, {kU16, 2}, {kPtr, 4}}},
    {695, {{kU8, 0}, {kU16, 2}, {kPtr, 4}}},
    {698, {{kU16, 0}}},
    {691, {{kIo16, 0}, {kIo32, 4}}},
    {694, {{kU16, 0}, {kVolumeInfo, 2}}},
    {693, {{kU16, 0}, {kPtr, 2}, {kU16, 6}}},
    {696, {{kU16, 0}, {kPtr, 2}}},
    {697, {{kU16, 0}, {kOut32, 2}, {kOut32, 6}}},
    {687, {{kU32, 0}, {kOut16, 4}}},
    {689, {{kU16, 0}}},
    {683, {{kU16, 0}, {kPtr, 2}, {kOut16, 6}, {kOut32, 10}}},
    {658, {{kU16, 0}, {kPtr, 2}, {kU16, 6}, {kU32, 8}}},
    {664, {{kU32, 0}, {kU32, 4}, {kU16, 8}, {kOut32, 10}}},
    {665,
     {{kU32, 0}, {kPtr, 4}, {kOut16, 8}, {kOut16, 12}, {kOut32, 16}, {kOut32, 20}, {kOut32, 24}, {kOut32, 28},
      {kOut32, 32}, {kOut32, 36}, {kOut32, 40}, {kOut32, 44}, {kOut16, 48}}},
    {663, {{kU32, 0}, {kU16, 4}, {kOut32, 6}, {kOut8, 10}, {kOut32, 14}}},
    {685, {{kU16, 0}, {kPtr, 2}, {kOut16Always, 6}, {kOut32, 10}, {kCallback, 14}}},
    {660, {{kU16, 0}, {kPtr, 2}, {kU16, 6}, {kU32, 8}, {kCallback, 12}}},
};

const uint8_t kFileEntryLayout[] = {0x24, 0x12, 0};
const uint8_t kVolumeInfoLayout[] = {0x44, 0x22, 0x24, 0};
constexpr uint32_t kCardInfoBytes = 132;

struct CallbackRecord {
    EmulState* context;
    uint32_t procedure;
    uint32_t userValue;
};

constexpr int kMaxWords = 16;

void Dispatch(EmulState* s, const Selector* table, uint32_t count, const char* unknown, uint16_t line) {
    const uint16_t selector = static_cast<uint16_t>(s->D[2]);
    if (selector == 0 || selector >= count) {
        ErrDisplayFileLineMsg(kFile, line, unknown, selector);
        return;
    }
    const Selector& sel = table[selector];
    uint32_t words[kMaxWords] = {};
    alignas(4) uint32_t values[14] = {};  // native locals of out- and in/out values
    alignas(4) uint8_t record[kCardInfoBytes] = {};
    CallbackRecord callback{s, 0, 0};
    int n = 0;
    for (int i = 0; i < 14 && sel.args[i].kind != kEnd; ++i) {
        const Arg& a = sel.args[i];
        const uint32_t p = GetArgPtr(s, a.offset);
        switch (a.kind) {
            case kU32: words[n++] = GetArgUInt32(s, a.offset); break;
            case kU16: words[n++] = static_cast<uint16_t>(GetArgUInt16(s, a.offset)); break;
            case kU8: words[n++] = static_cast<uint8_t>(GetArgInt8(s, a.offset)); break;
            case kPtr: words[n++] = p; break;
            case kIo16: values[i] = p ? Read68KUInt16(p, 0) : 0; words[n++] = p ? Addr(&values[i]) : 0; break;
            case kIo32: values[i] = p ? Read68KUInt32(p, 0) : 0; words[n++] = p ? Addr(&values[i]) : 0; break;
            case kOut8:
            case kOut16:
            case kOut32: words[n++] = p ? Addr(&values[i]) : 0; break;
            case kOut16Always: words[n++] = Addr(&values[i]); break;
            case kFileEntry:
                if (p) RecordToNative(record, p, kFileEntryLayout);
                words[n++] = p ? Addr(record) : 0;
                break;
            case kVolumeInfo:
            case kCardInfo: words[n++] = p ? Addr(record) : 0; break;
            case kCallback:
                callback.procedure = p;
                callback.userValue = GetArgUInt32(s, a.offset + 4);
                words[n++] = p ? Addr(reinterpret_cast<void*>(&VfsProgressBridge)) : 0;
                words[n++] = p ? Addr(&callback) : 0;
                break;
            case kEnd: break;
        }
    }
    using Call = uint16_t(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                          uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    const uint16_t err = SysCall<Call>(sel.slot, words[0], words[1], words[2], words[3], words[4], words[5], words[6],
                                       words[7], words[8], words[9], words[10], words[11], words[12], words[13],
                                       words[14], words[15]);
    for (int i = 0; i < 14 && sel.args[i].kind != kEnd; ++i) {
        const Arg& a = sel.args[i];
        const uint32_t p = GetArgPtr(s, a.offset);
        if (!p) continue;
        switch (a.kind) {
            case kOut8: Write68KInt8(p, 0, static_cast<uint8_t>(values[i])); break;
            case kOut16:
            case kOut16Always:
            case kIo16: Write68KUInt16(p, 0, static_cast<uint16_t>(values[i])); break;
            case kOut32:
            case kIo32: Write68KUInt32(p, 0, values[i]); break;
            case kFileEntry: RecordTo68K(record, p, kFileEntryLayout); break;
            case kVolumeInfo: RecordTo68K(record, p, kVolumeInfoLayout); break;
            case kCardInfo: {
                uint32_t flags;
                std::memcpy(&flags, record, 4);
                sys::MemMove(Ptr(p), record, static_cast<int32_t>(kCardInfoBytes));
                Write68KUInt32(p, 0, flags);
                break;
            }
            default: break;
        }
    }
    SetResultD0UInt16(s, err);
}

void TrapExpansionDispatch(EmulState* s, uint16_t) {
    Dispatch(s, kExpansion, sizeof kExpansion / sizeof kExpansion[0], "Unknown ExpMgrDispatch request:", 200);
}
void TrapFileSystemDispatch(EmulState* s, uint16_t) {
    Dispatch(s, kFileSystem, sizeof kFileSystem / sizeof kFileSystem[0], "Unknown VFSDispatch request:", 400);
}

}  // namespace

uint16_t VfsProgressBridge(uint32_t first, uint32_t second, void* record) {
    const auto* callback = static_cast<const CallbackRecord*>(record);
    if (!callback || !callback->context || !callback->procedure) return 0;
    EmulState* s = callback->context;
    Write68KUInt32(s->A[7] - 12, 0, first);
    Write68KUInt32(s->A[7] - 8, 0, second);
    Write68KUInt32(s->A[7] - 4, 0, callback->userValue);
    Call68KCode(s, callback->procedure, 12);
    return static_cast<uint16_t>(s->D[0]);
}

void ExpansionGlueInstall(TrapHandler* t) {
    t[0x347] = TrapExpansionDispatch;
    t[0x348] = TrapFileSystemDispatch;
}

}  // namespace morvel
