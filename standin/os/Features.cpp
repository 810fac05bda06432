// Features (system slots 265, 271 and 272): 32-bit values named by creator and number.
#include <map>
#include <mutex>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct Features {
    std::mutex mutex;
    std::map<std::pair<uint32_t, uint16_t>, uint32_t> values;
};

Features& F() {
    static Features features;
    return features;
}

uint16_t StandinFtrGet(uint32_t creator, uint16_t number, uint32_t* value) {
    std::lock_guard lock(F().mutex);
    auto it = F().values.find({creator, number});
    if (it == F().values.end()) return ftrErrNoSuchFeature;
    if (value) *value = it->second;
    return 0;
}
VANTOR_OS_SLOT(FtrGet, StandinFtrGet)

uint16_t StandinFtrSet(uint32_t creator, uint16_t number, uint32_t value) {
    std::lock_guard lock(F().mutex);
    F().values[{creator, number}] = value;
    return 0;
}
VANTOR_OS_SLOT(FtrSet, StandinFtrSet)

uint16_t StandinFtrUnregister(uint32_t creator, uint16_t number) {
    std::lock_guard lock(F().mutex);
    return F().values.erase({creator, number}) ? 0 : ftrErrNoSuchFeature;
}
VANTOR_OS_SLOT(FtrUnregister, StandinFtrUnregister)

}  // namespace

void ResetFeatures() {
    std::lock_guard lock(F().mutex);
    F().values.clear();
}

}  // namespace vantor::os
