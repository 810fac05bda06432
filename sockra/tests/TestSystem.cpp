#include "sockra/tests/TestSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "sockra/SockraOS.h"

namespace sockra::test {
namespace {

std::mutex gLock;
std::vector<std::string> gTraces, gReports;
std::map<std::pair<uint32_t, uint16_t>, uint32_t> gFeatures;
std::atomic<bool> gEventAvail{false};

template <int Slot>
void Unexpected() {
    ADD_FAILURE() << "unexpected call of system slot " << Slot;
}
template <int... Slots>
constexpr std::array<os::Entry, sizeof...(Slots)> MakeTable(std::integer_sequence<int, Slots...>) {
    return {reinterpret_cast<os::Entry>(&Unexpected<Slots>)...};
}
std::array<os::Entry, os::sysSlotCount> gTable = MakeTable(std::make_integer_sequence<int, os::sysSlotCount>{});

void Trace(uint16_t, const char* format, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    std::lock_guard<std::mutex> g(gLock);
    gTraces.emplace_back(line);
}
void ErrReport(const char* path, uint32_t line, const char* message) {
    std::lock_guard<std::mutex> g(gLock);
    gReports.push_back(std::string(path) + ":" + std::to_string(line) + ": " + message);
}
void* MemPtrNew(uint32_t size) { return calloc(1, size ? size : 1); }
uint16_t MemChunkFree(void* p) {
    free(p);
    return 0;
}
uint16_t MemPtrSetOwner(void*, uint16_t) { return 0; }
uint8_t EvtEventAvail() { return gEventAvail.load(); }
uint16_t FtrGet(uint32_t creator, uint16_t number, uint32_t* valueP) {
    std::lock_guard<std::mutex> g(gLock);
    auto it = gFeatures.find({creator, number});
    if (it == gFeatures.end()) return 0x0C02;
    *valueP = it->second;
    return 0;
}
uint16_t FtrSet(uint32_t creator, uint16_t number, uint32_t value) {
    std::lock_guard<std::mutex> g(gLock);
    gFeatures[{creator, number}] = value;
    return 0;
}
uint16_t DmWrite(void* recordP, uint32_t offset, const void* srcP, uint32_t bytes) {
    memcpy(static_cast<char*>(recordP) + offset, srcP, bytes);
    return 0;
}

template <typename F>
void Put(int slot, F f) {
    gTable[slot] = reinterpret_cast<os::Entry>(f);
}

}  // namespace

void TestSystem::Install() {
    Put(os::sysTrace, &Trace);
    Put(os::sysErrReport, &ErrReport);
    Put(os::sysMemPtrNew, &MemPtrNew);
    Put(os::sysMemChunkFree, &MemChunkFree);
    Put(os::sysMemPtrSetOwner, &MemPtrSetOwner);
    Put(os::sysEvtEventAvail, &EvtEventAvail);
    Put(os::sysFtrGet, &FtrGet);
    Put(os::sysFtrSet, &FtrSet);
    Put(os::sysDmWrite, &DmWrite);
    os::SetSystemTable(gTable.data());
    ClearCaptures();
    std::lock_guard<std::mutex> g(gLock);
    gFeatures.clear();
    gEventAvail = false;
}

std::vector<std::string> TestSystem::Traces() {
    std::lock_guard<std::mutex> g(gLock);
    return gTraces;
}
std::vector<std::string> TestSystem::Reports() {
    std::lock_guard<std::mutex> g(gLock);
    return gReports;
}
void TestSystem::ClearCaptures() {
    std::lock_guard<std::mutex> g(gLock);
    gTraces.clear();
    gReports.clear();
}
bool TestSystem::Traced(const std::string& line) {
    for (const auto& t : Traces()) {
        if (t == line) return true;
    }
    return false;
}
void TestSystem::SetEventAvail(bool avail) { gEventAvail = avail; }
void TestSystem::SetFeature(uint32_t creator, uint16_t number, uint32_t value) { FtrSet(creator, number, value); }

}  // namespace sockra::test
