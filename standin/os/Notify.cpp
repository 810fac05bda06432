// Direct notification callbacks (system slot 551), kept until Reset, and their broadcast (546 and
// NotifyBroadcastDirect).
#include "standin/os/Notify.h"

#include <mutex>
#include <vector>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct Registration {
    uint32_t type;
    SysNotifyProc callback;
    void* userData;
};

struct Registrations {
    std::mutex mutex;
    std::vector<Registration> list;
};

Registrations& N() {
    static Registrations registrations;
    return registrations;
}

uint16_t StandinSysNotifyRegisterDirect(uint32_t, uint32_t type, SysNotifyProc callback, int8_t, void* userData) {
    if (!callback) return sysErrParamErr;
    std::lock_guard lock(N().mutex);
    N().list.push_back({type, callback, userData});
    return 0;
}
VANTOR_OS_SLOT(SysNotifyRegisterDirect, StandinSysNotifyRegisterDirect)

// A broadcast reaches the direct registrations of its type at once; each sees the caller's
// record, so that one of them can mark it handled.
uint16_t StandinSysNotifyBroadcast(SysNotifyParamType* notify) {
    if (!notify) return sysErrParamErr;
    std::vector<Registration> list;
    {
        std::lock_guard lock(N().mutex);
        list = N().list;
    }
    void* userData = notify->userDataP;
    for (const Registration& r : list) {
        if (r.type != notify->notifyType) continue;
        notify->userDataP = r.userData;
        r.callback(notify);
    }
    notify->userDataP = userData;
    return 0;
}
VANTOR_OS_SLOT(SysNotifyBroadcast, StandinSysNotifyBroadcast)

}  // namespace

void ResetNotify() {
    std::lock_guard lock(N().mutex);
    N().list.clear();
}

int NotifyBroadcastDirect(uint32_t type, void* details) {
    std::vector<Registration> list;
    {
        std::lock_guard lock(N().mutex);
        list = N().list;
    }
    int called = 0;
    for (const Registration& r : list) {
        if (r.type != type) continue;
        SysNotifyParamType notify{type, 0, details, r.userData, 0, 0};
        r.callback(&notify);
        ++called;
    }
    return called;
}

}  // namespace vantor::os
