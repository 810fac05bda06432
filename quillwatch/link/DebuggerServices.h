// What the link half uses of the debugger: the user-abort flag, the attached state and the device
// OS version. The link half owns this table of services; the debugger engine installs its own with
// DbgSetServices when it makes its context. Until then (and in programs without the engine) the
// link's minimal services answer: their own abort and attached flags, and the OS version asked of
// the device. Remote key events need nothing of the debugger and are sent here directly.
#pragma once

#include <cstdint>

namespace quillwatch {

struct DbgServices {
    void (*setUserAbort)(bool abort);
    bool (*userAbort)();
    bool (*isAttached)();
    bool (*isNewRemoteOS)();
};

// Installs a table of services (it must outlive its use); none restores the minimal ones.
void DbgSetServices(const DbgServices* services);

// Sets or clears the user-abort flag that long link operations poll.
void DbgSetUserAbort(bool abort);
bool DbgUserAbort();
// True while the debugger is attached to a stopped device over socket 0.
bool DbgIsAttached();
// Sends one key event to the device: without byCall as a remote-event packet on socket 2, with
// byCall as the remote EvtEnqueueKey call (a thrown error is ignored).
void DbgSendRemoteEvent(uint16_t character, int32_t keyCode, uint16_t modifiers, bool byCall);
// True when the device OS is version 5 or later.
bool DbgIsNewRemoteOS();
// Asks the device for its OS version (the feature 'psys' 1): true for version 5 or later, false
// also when the call fails.
bool DbgAskNewRemoteOS();

// The attached flag of the minimal services, for programs and tests without the engine.
void DbgMinimalSetAttached(bool attached);

}  // namespace quillwatch
