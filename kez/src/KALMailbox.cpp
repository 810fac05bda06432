// Mailboxes of 32-bit messages (export slots 128 to 132), built from three semaphores: free space,
// messages, and a lock of the ring buffer.
//
// Tasks of several modules create, delete, send and receive at once, so the mailbox list has a
// lock, and each operation holds a reference to its mailbox: a mailbox deleted during a receive
// is freed when the receive has returned.
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "kez/src/KAL.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {
namespace {

struct Mailbox {
    uint32_t id;
    uint32_t freeSpace;
    uint32_t messages;
    uint32_t bufferLock;
    std::vector<uint32_t> buffer;
    uint32_t write = 0;
    uint32_t read = 0;
};

std::mutex gListLock;
std::list<std::shared_ptr<Mailbox>> gMailboxes;  // the newest first

std::shared_ptr<Mailbox> Find(uint32_t id) {
    std::lock_guard lock(gListLock);
    for (const auto& m : gMailboxes)
        if (m->id == id) return m;
    return nullptr;
}

uint16_t KALMailboxCreate(uint32_t* id, uint32_t /*attribute*/, uint32_t capacity) {
    if (!id) return kalErrBadParam;
    std::shared_ptr<Mailbox> m;
    try {
        m = std::make_shared<Mailbox>();
        m->buffer.resize(capacity ? capacity : 1);
    } catch (...) {
        return kalErrNoMemory;
    }
    if (KEZ_CALL(KALSemaphoreCreate, &m->freeSpace, 0, capacity) != 0) return 0xFFFF;
    if (KEZ_CALL(KALSemaphoreCreate, &m->messages, 0, 0) != 0) {
        KEZ_CALL(KALSemaphoreDelete, m->freeSpace);
        return kalErrNoFreeObject;
    }
    if (KEZ_CALL(KALSemaphoreCreate, &m->bufferLock, 0, 1) != 0) {
        KEZ_CALL(KALSemaphoreDelete, m->freeSpace);
        KEZ_CALL(KALSemaphoreDelete, m->messages);
        return kalErrNoFreeObject;
    }
    std::lock_guard lock(gListLock);
    m->id = gMailboxes.empty() ? 0 : gMailboxes.front()->id + 1;
    gMailboxes.push_front(m);
    *id = m->id;
    return 0;
}
KEZ_SLOT(KALMailboxCreate, KALMailboxCreate)

uint16_t KALMailboxDelete(uint32_t id) {
    std::shared_ptr<Mailbox> m;
    {
        std::lock_guard lock(gListLock);
        for (auto it = gMailboxes.begin(); it != gMailboxes.end(); ++it) {
            if ((*it)->id == id) {
                m = *it;
                gMailboxes.erase(it);
                break;
            }
        }
    }
    if (!m) return kalErrBadID;
    KEZ_CALL(KALSemaphoreDelete, m->freeSpace);
    KEZ_CALL(KALSemaphoreDelete, m->messages);
    KEZ_CALL(KALSemaphoreDelete, m->bufferLock);
    return 0;
}
KEZ_SLOT(KALMailboxDelete, KALMailboxDelete)

// Never waits for space.
uint16_t KALMailboxSend(uint32_t id, uint32_t message) {
    std::shared_ptr<Mailbox> m = Find(id);
    if (!m) return kalErrBadID;
    if (KEZ_CALL(KALSemaphoreWait, m->freeSpace, 0) != 0) return kalErrMailboxFull;
    if (KEZ_CALL(KALSemaphoreWait, m->bufferLock, -1) != 0) return kalErrBadID;
    m->buffer[m->write] = message;
    m->write = (m->write + 1) % m->buffer.size();
    KEZ_CALL(KALSemaphoreSignal, m->bufferLock);
    KEZ_CALL(KALSemaphoreSignal, m->messages);
    return 0;
}
KEZ_SLOT(KALMailboxSend, KALMailboxSend)

uint16_t KALMailboxReceive(uint32_t id, uint32_t* message, int32_t timeout) {
    std::shared_ptr<Mailbox> m = Find(id);
    if (!m) return kalErrBadID;
    if (KEZ_CALL(KALSemaphoreWait, m->messages, timeout) != 0) return kalErrTimeout;
    if (KEZ_CALL(KALSemaphoreWait, m->bufferLock, -1) != 0) return kalErrTimeout;
    uint32_t value = m->buffer[m->read];
    m->read = (m->read + 1) % m->buffer.size();
    KEZ_CALL(KALSemaphoreSignal, m->bufferLock);
    KEZ_CALL(KALSemaphoreSignal, m->freeSpace);
    if (message) *message = value;
    return 0;
}
KEZ_SLOT(KALMailboxReceive, KALMailboxReceive)

// Nothing is reported about an existing mailbox.
uint16_t KALMailboxGetInfo(uint32_t id) { return Find(id) ? 0xFFFF : kalErrBadID; }
KEZ_SLOT(KALMailboxGetInfo, KALMailboxGetInfo)

}  // namespace

uint16_t PrvKALMailboxInitialize() {
    std::lock_guard lock(gListLock);
    gMailboxes.clear();
    return 0;
}

uint16_t PrvKALMailboxDispose() {
    for (;;) {
        uint32_t id;
        {
            std::lock_guard lock(gListLock);
            if (gMailboxes.empty()) return 0;
            id = gMailboxes.front()->id;
        }
        KALMailboxDelete(id);
    }
}

}  // namespace kez
