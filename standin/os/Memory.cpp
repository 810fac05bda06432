// The memory manager: a dynamic heap and a write-protected storage heap of chunks, pointers and
// handles, with lock counts and owners.
//
// Chunks are plain native memory of this process, so 68K code and modules use them directly. The
// storage heap is mapped twice from one memory file: read-only where callers see it, and writable
// at a second address that only DmWrite (system slot 153) uses, so a direct write into storage
// faults as it does on the device. The chunk records are kept beside the heaps, not in them, so a
// caller's overrun cannot corrupt the manager.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

constexpr uint32_t kDynamicHeapSize = 16 * 1024 * 1024;
constexpr uint32_t kStorageHeapSize = 8 * 1024 * 1024;
constexpr uint32_t kAlign = 8;
constexpr uint16_t kDefaultOwner = 1;
constexpr uint16_t kMaxLockCount = 14;

struct Chunk {
    uint32_t size;       // as requested
    uint32_t allocated;  // rounded up, what the chunk takes from the heap
    uint16_t owner = kDefaultOwner;
    uint16_t lockCount = 0;
    void** master = nullptr;  // the handle of a movable chunk
    bool internal = false;    // a block of master pointers
};

class Heap {
public:
    Heap(uint16_t id, uint32_t size, bool protectedHeap) : id_(id), size_(size) {
        if (protectedHeap) {
            int fd = memfd_create("vantor-storage-heap", MFD_CLOEXEC);
            if (fd >= 0 && ftruncate(fd, size) == 0) {
                void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
                void* alias = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                if (view != MAP_FAILED && alias != MAP_FAILED) {
                    base_ = static_cast<uint8_t*>(view);
                    writable_ = static_cast<uint8_t*>(alias);
                }
            }
            if (fd >= 0) close(fd);
        } else {
            void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) base_ = writable_ = static_cast<uint8_t*>(p);
        }
        if (base_) free_[0] = size;
    }

    uint16_t Id() const { return id_; }
    uint32_t Size() const { return size_; }
    bool Contains(const void* p) const {
        auto a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base_);
        return base_ && a >= b && a < b + size_;
    }
    uint32_t Offset(const void* p) const {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base_));
    }
    uint8_t* At(uint32_t offset) const { return base_ + offset; }
    uint8_t* WritableAt(uint32_t offset) const { return writable_ + offset; }

    // First fit; answers the chunk's address or null.
    uint8_t* Allocate(uint32_t size, Chunk chunk) {
        if (size > size_) return nullptr;
        uint32_t need = RoundUp(size);
        for (auto it = free_.begin(); it != free_.end(); ++it) {
            if (it->second < need) continue;
            uint32_t offset = it->first, length = it->second;
            free_.erase(it);
            if (length > need) free_[offset + need] = length - need;
            chunk.size = size;
            chunk.allocated = need;
            chunks_[offset] = chunk;
            std::memset(WritableAt(offset), 0, need);
            return At(offset);
        }
        return nullptr;
    }

    Chunk* Find(const void* p) {
        if (!Contains(p)) return nullptr;
        auto it = chunks_.find(Offset(p));
        return it == chunks_.end() ? nullptr : &it->second;
    }

    // The chunk that contains p (not only one that starts there), and its start.
    Chunk* FindContaining(const void* p, uint32_t* start) {
        if (!Contains(p)) return nullptr;
        auto it = chunks_.upper_bound(Offset(p));
        if (it == chunks_.begin()) return nullptr;
        --it;
        if (Offset(p) >= it->first + it->second.allocated) return nullptr;
        *start = it->first;
        return &it->second;
    }

    void Release(const void* p) {
        uint32_t offset = Offset(p);
        auto it = chunks_.find(offset);
        uint32_t length = it->second.allocated;
        chunks_.erase(it);
        auto next = free_.find(offset + length);
        if (next != free_.end()) {
            length += next->second;
            free_.erase(next);
        }
        auto prev = free_.lower_bound(offset);
        if (prev != free_.begin() && (--prev)->first + prev->second == offset) {
            prev->second += length;
        } else {
            free_[offset] = length;
        }
    }

    // Grows or shrinks a chunk where it lies; false when the space after it is taken.
    bool ResizeInPlace(const void* p, uint32_t size) {
        uint32_t offset = Offset(p);
        Chunk& chunk = chunks_.at(offset);
        uint32_t need = RoundUp(size);
        if (need <= chunk.allocated) {
            if (need < chunk.allocated) {
                uint32_t end = offset + chunk.allocated;
                uint32_t length = chunk.allocated - need;
                auto next = free_.find(end);
                if (next != free_.end()) {
                    length += next->second;
                    free_.erase(next);
                }
                free_[offset + need] = length;
                chunk.allocated = need;
            }
            chunk.size = size;
            return true;
        }
        auto next = free_.find(offset + chunk.allocated);
        uint32_t extra = need - chunk.allocated;
        if (next == free_.end() || next->second < extra) return false;
        uint32_t rest = next->second - extra;
        free_.erase(next);
        if (rest) free_[offset + need] = rest;
        std::memset(WritableAt(offset + chunk.allocated), 0, extra);
        chunk.allocated = need;
        chunk.size = size;
        return true;
    }

    void FreeBytes(uint32_t* total, uint32_t* largest) const {
        *total = *largest = 0;
        for (const auto& [offset, length] : free_) {
            *total += length;
            if (length > *largest) *largest = length;
        }
    }

    uint32_t ChunkCount() const {
        uint32_t n = 0;
        for (const auto& [offset, chunk] : chunks_) n += chunk.internal ? 0 : 1;
        return n;
    }

private:
    static uint32_t RoundUp(uint32_t size) {
        return size == 0 ? kAlign : (size + kAlign - 1) / kAlign * kAlign;
    }

    uint16_t id_;
    uint32_t size_;
    uint8_t* base_ = nullptr;
    uint8_t* writable_ = nullptr;
    std::map<uint32_t, uint32_t> free_;  // offset -> length
    std::map<uint32_t, Chunk> chunks_;   // offset -> chunk
};

class MemoryManager {
public:
    std::recursive_mutex mutex;

    Heap* HeapById(uint16_t id) {
        if (id == kDynamicHeapID) return &Dynamic();
        if (id == kStorageHeapID) return &Storage();
        return nullptr;
    }
    Heap& Dynamic() {
        if (!dynamic_) dynamic_ = std::make_unique<Heap>(kDynamicHeapID, kDynamicHeapSize, false);
        return *dynamic_;
    }
    Heap& Storage() {
        if (!storage_) storage_ = std::make_unique<Heap>(kStorageHeapID, kStorageHeapSize, true);
        return *storage_;
    }

    // The heap and chunk that start at p.
    Chunk* Find(const void* p, Heap** heap) {
        for (Heap* h : {&Dynamic(), &Storage()}) {
            if (Chunk* c = h->Find(p)) {
                if (heap) *heap = h;
                return c->internal ? nullptr : c;
            }
        }
        return nullptr;
    }

    // A handle is the address of its master pointer, which holds the chunk's address.
    bool IsHandle(const void* h) const { return handles_.count(h) != 0; }
    Chunk* FromHandle(void* h, Heap** heap) {
        if (!IsHandle(h)) return nullptr;
        return Find(*static_cast<void**>(h), heap);
    }

    void** NewMaster() {
        if (spareMasters_.empty()) {
            constexpr uint32_t kBlock = 64;
            Chunk chunk;
            chunk.internal = true;
            auto* block = reinterpret_cast<void**>(Dynamic().Allocate(kBlock * sizeof(void*), chunk));
            if (!block) return nullptr;
            for (uint32_t i = 0; i < kBlock; ++i) spareMasters_.insert(block + i);
        }
        void** master = *spareMasters_.begin();
        spareMasters_.erase(spareMasters_.begin());
        handles_.insert(master);
        return master;
    }
    void FreeMaster(void** master) {
        *master = nullptr;
        handles_.erase(master);
        spareMasters_.insert(master);
    }

    void FreeChunk(Heap* heap, Chunk* chunk, void* p) {
        if (chunk->master) FreeMaster(chunk->master);
        heap->Release(p);
    }

private:
    std::unique_ptr<Heap> dynamic_;
    std::unique_ptr<Heap> storage_;
    std::set<const void*> handles_;
    std::set<void**> spareMasters_;
};

MemoryManager& M() {
    static MemoryManager manager;
    return manager;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void* StandinMemChunkNew(uint16_t heapID, uint32_t size, uint16_t /*attributes*/) {
    Lock lock(M().mutex);
    Heap* heap = M().HeapById(heapID);
    return heap ? heap->Allocate(size, Chunk{}) : nullptr;
}
VANTOR_OS_SLOT(MemChunkNew, StandinMemChunkNew)

void* StandinMemPtrNew(uint32_t size) { return StandinMemChunkNew(kDynamicHeapID, size, 0); }
VANTOR_OS_SLOT(MemPtrNew, StandinMemPtrNew)

uint16_t StandinMemChunkFree(void* p) {
    Lock lock(M().mutex);
    Heap* heap;
    Chunk* chunk = M().Find(p, &heap);
    if (!chunk) return memErrInvalidParam;
    M().FreeChunk(heap, chunk, p);
    return 0;
}
VANTOR_OS_SLOT(MemChunkFree, StandinMemChunkFree)

uint16_t StandinMemPtrSetOwner(void* p, uint16_t owner) {
    Lock lock(M().mutex);
    Chunk* chunk = M().Find(p, nullptr);
    if (!chunk || owner > 15) return memErrInvalidParam;
    chunk->owner = owner;
    return 0;
}
VANTOR_OS_SLOT(MemPtrSetOwner, StandinMemPtrSetOwner)

uint32_t StandinMemPtrSize(void* p) {
    Lock lock(M().mutex);
    Chunk* chunk = M().Find(p, nullptr);
    return chunk ? chunk->size : 0;
}
VANTOR_OS_SLOT(MemPtrSize, StandinMemPtrSize)

uint16_t StandinMemPtrResize(void* p, uint32_t size) {
    Lock lock(M().mutex);
    Heap* heap;
    Chunk* chunk = M().Find(p, &heap);
    if (!chunk) return memErrInvalidParam;
    return heap->ResizeInPlace(p, size) ? 0 : memErrNotEnoughSpace;
}
VANTOR_OS_SLOT(MemPtrResize, StandinMemPtrResize)

uint16_t StandinMemPtrUnlock(void* p) {
    Lock lock(M().mutex);
    Chunk* chunk = M().Find(p, nullptr);
    if (!chunk || !chunk->master) return memErrInvalidParam;
    if (chunk->lockCount == 0) return memErrChunkNotLocked;
    --chunk->lockCount;
    return 0;
}
VANTOR_OS_SLOT(MemPtrUnlock, StandinMemPtrUnlock)

void* StandinMemPtrRecoverHandle(void* p) {
    Lock lock(M().mutex);
    Chunk* chunk = M().Find(p, nullptr);
    return chunk ? chunk->master : nullptr;
}
VANTOR_OS_SLOT(MemPtrRecoverHandle, StandinMemPtrRecoverHandle)

void* StandinMemHandleNew(uint32_t size) {
    Lock lock(M().mutex);
    void** master = M().NewMaster();
    if (!master) return nullptr;
    Chunk chunk;
    chunk.master = master;
    void* p = M().Dynamic().Allocate(size, chunk);
    if (!p) {
        M().FreeMaster(master);
        return nullptr;
    }
    *master = p;
    return master;
}
VANTOR_OS_SLOT(MemHandleNew, StandinMemHandleNew)

uint16_t StandinMemHandleFree(void* h) {
    Lock lock(M().mutex);
    Heap* heap;
    Chunk* chunk = M().FromHandle(h, &heap);
    if (!chunk) return memErrInvalidParam;
    M().FreeChunk(heap, chunk, *static_cast<void**>(h));
    return 0;
}
VANTOR_OS_SLOT(MemHandleFree, StandinMemHandleFree)

void* StandinMemHandleLock(void* h) {
    Lock lock(M().mutex);
    Chunk* chunk = M().FromHandle(h, nullptr);
    if (!chunk || chunk->lockCount >= kMaxLockCount) return nullptr;
    ++chunk->lockCount;
    return *static_cast<void**>(h);
}
VANTOR_OS_SLOT(MemHandleLock, StandinMemHandleLock)

uint16_t StandinMemHandleUnlock(void* h) {
    Lock lock(M().mutex);
    Chunk* chunk = M().FromHandle(h, nullptr);
    if (!chunk) return memErrInvalidParam;
    if (chunk->lockCount == 0) return memErrChunkNotLocked;
    --chunk->lockCount;
    return 0;
}
VANTOR_OS_SLOT(MemHandleUnlock, StandinMemHandleUnlock)

uint16_t StandinMemHandleResize(void* h, uint32_t size) {
    Lock lock(M().mutex);
    Heap* heap;
    Chunk* chunk = M().FromHandle(h, &heap);
    if (!chunk) return memErrInvalidParam;
    auto** master = static_cast<void**>(h);
    if (heap->ResizeInPlace(*master, size)) return 0;
    // It must move: only an unlocked chunk can.
    if (chunk->lockCount) return memErrChunkLocked;
    Chunk moved = *chunk;
    void* p = heap->Allocate(size, moved);
    if (!p) return memErrNotEnoughSpace;
    std::memcpy(heap->WritableAt(heap->Offset(p)), *master, std::min(chunk->size, size));
    heap->Release(*master);
    *master = p;
    return 0;
}
VANTOR_OS_SLOT(MemHandleResize, StandinMemHandleResize)

uint32_t StandinMemHandleSize(void* h) {
    Lock lock(M().mutex);
    Chunk* chunk = M().FromHandle(h, nullptr);
    return chunk ? chunk->size : 0;
}
VANTOR_OS_SLOT(MemHandleSize, StandinMemHandleSize)

uint16_t StandinMemHandleLockCount(void* h) {
    Lock lock(M().mutex);
    Chunk* chunk = M().FromHandle(h, nullptr);
    return chunk ? chunk->lockCount : 0;
}
VANTOR_OS_SLOT(MemHandleLockCount, StandinMemHandleLockCount)

uint16_t StandinMemHandleSetOwner(void* h, uint16_t owner) {
    Lock lock(M().mutex);
    Chunk* chunk = M().FromHandle(h, nullptr);
    if (!chunk || owner > 15) return memErrInvalidParam;
    chunk->owner = owner;
    return 0;
}
VANTOR_OS_SLOT(MemHandleSetOwner, StandinMemHandleSetOwner)

uint16_t StandinMemSet(void* destination, int32_t count, uint8_t value) {
    if (count > 0 && destination) std::memset(destination, value, static_cast<size_t>(count));
    return 0;
}
VANTOR_OS_SLOT(MemSet, StandinMemSet)

uint16_t StandinMemMove(void* destination, const void* source, int32_t count) {
    if (count > 0 && destination && source)
        std::memmove(destination, source, static_cast<size_t>(count));
    return 0;
}
VANTOR_OS_SLOT(MemMove, StandinMemMove)

// Writes into a chunk, storage included; the write must stay inside the chunk.
uint16_t StandinDmWrite(void* record, uint32_t offset, const void* source, uint32_t count) {
    Lock lock(M().mutex);
    Heap* heap = nullptr;
    uint32_t start = 0;
    Chunk* chunk = nullptr;
    for (Heap* h : {&M().Dynamic(), &M().Storage()}) {
        if ((chunk = h->FindContaining(record, &start))) {
            heap = h;
            break;
        }
    }
    if (!chunk || chunk->internal || !source) return dmErrNotValidRecord;
    uint32_t at = heap->Offset(record) - start;
    if (at > chunk->size || offset > chunk->size - at || count > chunk->size - at - offset) return dmErrWriteOutOfBounds;
    std::memmove(heap->WritableAt(start + at + offset), source, count);
    return 0;
}
VANTOR_OS_SLOT(DmWrite, StandinDmWrite)

uint16_t StandinMemHeapCount() { return 2; }
VANTOR_OS_SLOT(MemHeapCount, StandinMemHeapCount)

uint16_t StandinMemHeapID(uint16_t /*cardNo*/, uint16_t heapIndex) {
    return heapIndex < 2 ? heapIndex : 0xFFFF;
}
VANTOR_OS_SLOT(MemHeapID, StandinMemHeapID)

uint8_t StandinMemHeapDynamic(uint16_t heapID) { return heapID == kDynamicHeapID; }
VANTOR_OS_SLOT(MemHeapDynamic, StandinMemHeapDynamic)

uint32_t StandinMemHeapSize(uint16_t heapID) {
    Lock lock(M().mutex);
    Heap* heap = M().HeapById(heapID);
    return heap ? heap->Size() : 0;
}
VANTOR_OS_SLOT(MemHeapSize, StandinMemHeapSize)

uint16_t StandinMemHeapFreeBytes(uint16_t heapID, uint32_t* freeBytes, uint32_t* maxChunk) {
    Lock lock(M().mutex);
    Heap* heap = M().HeapById(heapID);
    if (!heap) return memErrInvalidParam;
    uint32_t total, largest;
    heap->FreeBytes(&total, &largest);
    if (freeBytes) *freeBytes = total;
    if (maxChunk) *maxChunk = largest;
    return 0;
}
VANTOR_OS_SLOT(MemHeapFreeBytes, StandinMemHeapFreeBytes)

}  // namespace

bool GetChunkInfo(const void* p, ChunkInfo* info) {
    Lock lock(M().mutex);
    Heap* heap;
    Chunk* chunk = M().Find(p, &heap);
    if (!chunk) return false;
    *info = {heap->Id(), chunk->size, chunk->owner, chunk->lockCount, chunk->master != nullptr};
    return true;
}

uint32_t HeapAreaSize(const void* p) {
    Lock lock(M().mutex);
    for (Heap* h : {&M().Dynamic(), &M().Storage()})
        if (h->Contains(p)) return h->Size() - h->Offset(p);
    return 0;
}

bool StorageSetWritable(bool writable) {
    Lock lock(M().mutex);
    Heap& h = M().Storage();
    return h.Contains(h.At(0)) &&
           mprotect(h.At(0), h.Size(), writable ? PROT_READ | PROT_WRITE : PROT_READ) == 0;
}

uint32_t ChunkCount(uint16_t heapID) {
    Lock lock(M().mutex);
    Heap* heap = M().HeapById(heapID);
    return heap ? heap->ChunkCount() : 0;
}

}  // namespace vantor::os
