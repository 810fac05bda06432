#include "morvel/traps/NativeCalls.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"

#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/TrapDispatch.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using trapglue::Mem;
using trapglue::Ptr;

// The zero-terminated text at p when it lies in readable memory and every byte is printable
// (0x20-0x7A); false otherwise.
bool PrintableText(const EmulState* s, uint32_t p, std::string* text) {
    uint32_t readable = p ? ValidatePtr(s, p, true, true) : 0;
    text->clear();
    for (uint32_t i = 0; i < readable; ++i) {
        uint8_t c = *Mem(p + i);
        if (c == 0) return true;
        if (c < 0x20 || c > 0x7A) return false;
        text->push_back(static_cast<char>(c));
    }
    return false;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// ---- native threads ----

namespace kez = vantor::kezslot;
namespace kezsig = vantor::kezsig;

template <typename Sig, typename... A>
auto Kez(uint16_t slotNumber, A... args) {
    return KezImport().Call<Sig>(slotNumber, args...);
}

constexpr uint32_t kNativeThreadTag = 0x4E54484Cu;  // 'NTHL'
constexpr uint32_t kNativeThreadStack = 0x1000;
constexpr uint32_t kNativeThreadPriority = 110;
constexpr int32_t kNativeThreadPollTicks = 10;

// The thread record, in the OS heap.
struct NativeThread {
    uint32_t entry;
    uint32_t running;
};
static_assert(sizeof(NativeThread) == 8);

// The records of the threads that run, by task id. Exactly one side frees a record: the thread's
// own end or TvkStopNativeThread, whichever takes it out of this map first; the stop frees it only
// after the task is deleted (joined), so the thread never runs on with a freed record.
std::mutex gThreadsLock;
std::map<uint32_t, NativeThread*> gThreads;

NativeThread* TakeThread(uint32_t task) {
    std::lock_guard<std::mutex> hold(gThreadsLock);
    auto it = gThreads.find(task);
    if (it == gThreads.end()) return nullptr;
    NativeThread* t = it->second;
    gThreads.erase(it);
    return t;
}

bool TaskExists(uint32_t task) {
    vantor::KALTaskInfo info{};
    return Kez<kezsig::KALTaskGetInfo>(kez::KALTaskGetInfo, task, &info) == 0;
}

// The OS task of a native thread: the task-local record gets the task's stack, then the entry runs
// with (user data, task-local record, stack base).
void NativeThreadBody(uint32_t userData) {
    uint32_t task = 0;
    vantor::KALTaskInfo info{};
    Kez<kezsig::KALTaskGetCurrentID>(kez::KALTaskGetCurrentID, &task);
    Kez<kezsig::KALTaskGetInfo>(kez::KALTaskGetInfo, task, &info);
    uint32_t entry = 0;
    {
        std::lock_guard<std::mutex> hold(gThreadsLock);
        auto it = gThreads.find(task);
        if (it != gThreads.end()) {
            entry = it->second->entry;
            it->second->running = 1;
        }
    }
    if (entry) {
        auto* record = static_cast<uint8_t*>(vantor::sys::SysGetTaskRecord());
        if (record) {
            std::memset(record, 0, vantor::kTaskRecordSize);
            uint32_t end = info.stackAddress + info.stackSize - 1;
            std::memcpy(record + vantor::kTaskRecordStackBase, &info.stackAddress, 4);
            std::memcpy(record + vantor::kTaskRecordStackEnd, &end, 4);
        }
        reinterpret_cast<NativeThreadEntry>(static_cast<uintptr_t>(entry))(userData, record, info.stackAddress);
    }
    if (NativeThread* t = TakeThread(task)) {
        t->running = 0;
        vantor::sys::MemChunkFree(t);
    }
    // The task ends by returning: the OS frees it as it does for any task whose entry returns. A
    // deletion of its own here could meet a stop that is already joining it.
}

// TvkStartNativeThread(entry, user data): D0 = the task id, 0 on failure.
void TrapStartNativeThread(EmulState* s, uint16_t) {
    const uint32_t entry = GetArgUInt32(s, 0), userData = GetArgUInt32(s, 4);
    SetResultD0UInt32(s, NativeThreadStart(entry, userData));
}
void TrapIsNativeThreadRunning(EmulState* s, uint16_t) {
    SetResultD0UInt8(s, NativeThreadIsRunning(GetArgUInt32(s, 0)) ? 1 : 0);
}
void TrapWaitForNativeThread(EmulState* s, uint16_t) { NativeThreadWait(GetArgUInt32(s, 0)); }
void TrapStopNativeThread(EmulState* s, uint16_t) { SetResultD0UInt16(s, NativeThreadStop(GetArgUInt32(s, 0))); }

void TrapNativeCall(EmulState* s, uint16_t) {
    uint32_t r = NativeCodeLoad(s, GetArgPtr(s, 4), GetArgPtr(s, 0), 0xFFFFFFFFu);
    s->D[0] = s->A[0] = r;
}

void TrapNativeCallWithValue(EmulState* s, uint16_t) {
    uint32_t r = NativeCodeLoad(s, GetArgPtr(s, 8), GetArgPtr(s, 0), GetArgUInt32(s, 4));
    s->D[0] = s->A[0] = r;
}

}  // namespace

uint32_t Call68KFromNative(EmulState* s, uint32_t t, const void* arguments, uint32_t sizeAndFlags) {
    uint32_t n = sizeAndFlags & 0x0FFFFFFFu;
    if (!s || (n && !arguments)) return 0;
    if (t & ~0xFFFu) {
        if (n) std::memmove(Mem(s->A[7] - n), arguments, n);
        Call68KCode(s, t, n);
    } else {
        s->A[7] -= n;
        if (n) std::memmove(Mem(s->A[7]), arguments, n);
        TrapDispatch(s, static_cast<uint16_t>(t | 0xA000));
        s->A[7] += n;
    }
    return sizeAndFlags & kCallReturnsA0 ? s->A[0] : s->D[0];
}

uint32_t NativeCodeLoad(EmulState* s, uint32_t userData, uint32_t code, uint32_t) {
    if (!code) return 0;
    std::string name;
    if (PrintableText(s, code, &name) && name.size() > 3) {
        if (EndsWith(name, ".dll")) return 0;
        if (EndsWith(name, ".so")) {
            std::string entry;
            if (!PrintableText(s, code + static_cast<uint32_t>(name.size()) + 1, &entry) || entry.empty()) return 0;
            void* library = dlopen(name.c_str(), RTLD_NOW);
            if (!library) return 0;
            auto function = reinterpret_cast<NativeEntry>(dlsym(library, entry.c_str()));
            uint32_t result = function ? function(s, Ptr(userData), Call68KFromNative) : 0;
            dlclose(library);
            return result;
        }
    }
    // ARM code: it runs under the direct-call mechanism of the ARM build only.
    return 0;
}

uint32_t NativeThreadStart(uint32_t entry, uint32_t userData) {
    if (!entry) return 0;
    auto* t = static_cast<NativeThread*>(vantor::sys::MemPtrNew(sizeof(NativeThread)));
    if (!t) return 0;
    vantor::sys::MemPtrSetOwner(t, 0);
    *t = {entry, 0};
    Kez<void(uint32_t, uint32_t)>(kez::HALNullEntry173, entry, 0xFFFFFFFFu);
    uint32_t task = 0;
    if (vantor::sys::SysTaskCreate(kNativeThreadTag, &NativeThreadBody, kNativeThreadStack, kNativeThreadPriority,
                                   &task) != 0 ||
        !task) {
        vantor::sys::MemChunkFree(t);
        return 0;
    }
    {
        std::lock_guard<std::mutex> hold(gThreadsLock);
        gThreads[task] = t;
    }
    if (Kez<kezsig::KALTaskStart>(kez::KALTaskStart, task, userData) != 0) {
        NativeThreadStop(task);
        return 0;
    }
    return task;
}

bool NativeThreadIsRunning(uint32_t task) { return TaskExists(task); }

void NativeThreadWait(uint32_t task) {
    while (TaskExists(task)) vantor::sys::SysTaskSleep(kNativeThreadPollTicks);
}

uint16_t NativeThreadStop(uint32_t task) {
    NativeThread* t = TaskExists(task) ? TakeThread(task) : nullptr;
    if (t) t->running = 0;
    const uint16_t result = vantor::sys::SysTaskDelete(task);
    if (t) vantor::sys::MemChunkFree(t);
    return result;
}

void NativeCallsInstall(TrapHandler* t) {
    t[0x471] = TrapStartNativeThread;
    t[0x472] = TrapIsNativeThreadRunning;
    t[0x473] = TrapWaitForNativeThread;
    t[0x474] = TrapStopNativeThread;
    t[0x45A] = TrapNativeCall;
    t[0x479] = TrapNativeCallWithValue;
}

}  // namespace morvel
