#include "morvel/glue/ContextGate.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace morvel {
namespace {

struct Gate {
    std::thread::id holder;
    uint32_t depth = 0;
    std::condition_variable free;
};

// Gates by context, made on first use. A gate outlives its context: a freed context's address
// may come back as a new context, which then simply finds an idle gate.
std::mutex gLock;
std::map<const EmulState*, std::unique_ptr<Gate>> gGates;

Gate& GateOf(const EmulState* s) {
    auto& gate = gGates[s];
    if (!gate) gate = std::make_unique<Gate>();
    return *gate;
}

void EnterLocked(std::unique_lock<std::mutex>& hold, Gate& gate, uint32_t depth) {
    const auto self = std::this_thread::get_id();
    if (gate.depth && gate.holder == self) {
        gate.depth += depth;
        return;
    }
    gate.free.wait(hold, [&] { return gate.depth == 0; });
    gate.holder = self;
    gate.depth = depth;
}

}  // namespace

void ContextGateEnter(EmulState* s) {
    if (!s) return;
    std::unique_lock<std::mutex> hold(gLock);
    EnterLocked(hold, GateOf(s), 1);
}

void ContextGateLeave(EmulState* s) {
    if (!s) return;
    std::lock_guard<std::mutex> hold(gLock);
    Gate& gate = GateOf(s);
    if (!gate.depth || gate.holder != std::this_thread::get_id()) return;
    if (--gate.depth == 0) {
        gate.holder = {};
        gate.free.notify_all();
    }
}

void ContextGateClaim(EmulState* s) {
    if (!s) return;
    std::unique_lock<std::mutex> hold(gLock);
    Gate& gate = GateOf(s);
    if (gate.depth && gate.holder == std::this_thread::get_id()) return;
    EnterLocked(hold, gate, 1);
}

void ContextGateReset(EmulState* s) {
    if (!s) return;
    std::lock_guard<std::mutex> hold(gLock);
    Gate& gate = GateOf(s);
    gate.depth = 0;
    gate.holder = {};
    gate.free.notify_all();
}

ContextGateOpen::ContextGateOpen(EmulState* s) : s_(s), depth_(0) {
    if (!s_) return;
    std::lock_guard<std::mutex> hold(gLock);
    Gate& gate = GateOf(s_);
    if (!gate.depth || gate.holder != std::this_thread::get_id()) return;
    depth_ = gate.depth;
    gate.depth = 0;
    gate.holder = {};
    gate.free.notify_all();
}

ContextGateOpen::~ContextGateOpen() {
    if (!s_ || !depth_) return;
    std::unique_lock<std::mutex> hold(gLock);
    EnterLocked(hold, GateOf(s_), depth_);
}

}  // namespace morvel
