// What the link half uses of the debugger engine. The engine's debugger context defines these;
// quillwatch_link_dbgmin holds a minimal version for programs and tests without the engine.
#pragma once

#include <cstdint>

namespace quillwatch {

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

}  // namespace quillwatch
