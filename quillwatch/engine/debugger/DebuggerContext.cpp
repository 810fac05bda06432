// The debugger context, idle processing and link set-up.
#include "quillwatch/engine/debugger/DebuggerContext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/DebuggerPackets.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/lang/CommandModules.h"
#include "quillwatch/engine/shell/Hobgobs.h"
#include "quillwatch/engine/shell/Shell.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/LinkSelector.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/SerialLinkMgr.h"

namespace quillwatch {

namespace {

// The link as the debugger last set it up.
struct LinkState {
    bool open;
    uint32_t kind;
    uint16_t port;
    uint32_t baud;
};
LinkState gLink{false, linkNone, 0, 0};
uint16_t gOtherSocketPackets = 0;  // packets for other sockets read in a row while draining

constexpr uint16_t kBodyBufferSize = 272;

// A message body's text from byte 2, terminated at the body size in a buffer one byte longer.
const char* PrvMessageText(uint8_t* body, uint16_t size) {
    body[size] = '\0';
    return size >= 2 ? reinterpret_cast<const char*>(body + 2) : "";
}

}  // namespace

DbgContextType* DebuggerInit(HWND debuggerEdit, HWND consoleEdit, uint32_t /*reserved*/, HWND registersEdit) {
    gDbgWindows = DbgWindows{debuggerEdit, consoleEdit, registersEdit};
    DbgLinkInit();
    auto* ctx = static_cast<DbgContextType*>(DbgAllocBuffer(sizeof(DbgContextType)));
    if (!ctx) {
        HostErrorBox("Err in DebuggerInit: out of memory");
        std::abort();
    }
    gDbgContext = ctx;
    DbgInstallServices();
    ctx->console = debuggerEdit;
    ctx->processorType = 0;
    ctx->symbolsOn = 1;
    ctx->lastTemplate[0] = 0xFFFF;
    ctx->lastTemplate[1] = 0;
    uint16_t id = kModuleDebugger;
    if (module_createTable(ctx) != 0) HostErrorBox("Err in DebuggerInit");
    if (module_add(ctx, &id, "Nimbrel Debugger", 1) != 0) HostErrorBox("Err in DebuggerInit");
    if (module_initModule(ctx, id) != 0) HostErrorBox("Err in DebuggerInit");
    return ctx;
}

uint16_t DbgLinkInit() {
    SlkOpen();  // a second open only counts
    return 0;
}

int CmdReceiveMessagePacket(DbgContextType* ctx, int32_t timeoutMs) {
    alignas(4) uint8_t body[kBodyBufferSize + 1] = {};
    SlkPktHeaderType header{};
    Status err =
        SlkReceivePacket(vantor::slkSocketDebugger, false, &header, body, kBodyBufferSize, timeoutMs);
    if (err == vantor::slkErrOtherSocket) {
        if (++gOtherSocketPackets > 10) {
            SlkFlushSocket(vantor::slkSocketDebugger, 1000);
            gOtherSocketPackets = 0;
        }
        return 0;
    }
    if (err) {
        if (err != vantor::serErrTimeout && err != vantor::slkErrTimeout)
            DbgPrintf(ctx, "%s\n", LinkErrorText(err));
        return 0;
    }
    gOtherSocketPackets = 0;
    const uint8_t command = header.bodySize ? body[0] : 0xFF;
    vantor::SwapPacketBody(body, header.bodySize);
    switch (command) {
        case vantor::dbgPktMessage:
            DbgPrint(ctx, PrvMessageText(body, header.bodySize));
            return 1;
        case vantor::dbgPktState | vantor::dbgReplyFlag:
            CmdHandleStop(ctx, reinterpret_cast<const vantor::DbgStateType*>(body), header.bodySize, false);
            return 0;
        case vantor::dbgPktSerialSettings | vantor::dbgReplyFlag:
            SlkFlushSocket(vantor::slkSocketDebugger, 1000);
            return 0;
        default:
            SlkFlushSocket(vantor::slkSocketDebugger, 1000);
            DbgPrint(
                ctx,
                "CmdReceiveMessagePacket: the received packet is not a message or state response packet.\n");
            return 0;
    }
}

void DbgDrainMessages(DbgContextType* ctx, int32_t timeoutMs) {
    while (CmdReceiveMessagePacket(ctx, timeoutMs) != 0) {
    }
}

void DbgIdleProcess() {
    DbgContextType* ctx = gDbgContext;
    if (!ctx) return;
    DbgDrainMessages(ctx, 0);

    // One packet of the console socket; the body buffer has a byte for the text's terminator.
    uint8_t body[kBodyBufferSize] = {};
    SlkPktHeaderType header{};
    if (SlkReceivePacket(vantor::slkSocketConsole, false, &header, body, kBodyBufferSize - 1, 0) != 0) {
        HobgobsIdleSend();
        return;
    }
    gOtherSocketPackets = 0;  // the console packet the drain saw has reached its socket
    const uint8_t command = header.bodySize ? body[0] : 0xFF;
    vantor::SwapPacketBody(body, header.bodySize);
    if (command == vantor::dbgPktTesterRequest) {
        if (!ctx->attached) HobgobsIdleProcess(body, header.bodySize);
        return;
    }
    if (command != vantor::dbgPktMessage) {
        HostPrint("DbgIdleProcess: the received packet is not a message packet.\n");
        return;
    }
    const char* text = PrvMessageText(body, header.bodySize);
    if (std::strcmp(text, "\nReady...\n") == 0) {
        // The device has restarted and left its debugger.
        DbgSetAttached(ctx, false);
        CmdRefreshRegisterWindow(ctx);
    }
    HostPrint(text);
}

uint16_t PrvSetupLink(uint32_t kind, uint16_t port, uint32_t baud, bool handshake, bool hostOnly) {
    if (gLink.open && kind == gLink.kind && port == gLink.port && kind == linkSerial) {
        // Only the baud changes: the device first (unless host only), then the host port.
        HostSerSettings old{}, changed{};
        HostSerGetSettings(0, &old);
        changed = old;
        changed.baud = baud;
        changed.flags = handshake ? (old.flags | hostSerFlagHandshake) : (old.flags & ~hostSerFlagHandshake);
        Status err = HostSerSetSettings(0, &changed);
        HostSerSetSettings(0, &old);
        if (err) {
            HostPrint("\nError switching baud rate on host - aborting.\n");
            return err;
        }
        if (!hostOnly && gDbgContext) {
            ErrTry([&] { CmdSetRemoteSerialSettings(gDbgContext, &baud, &handshake, HostLinkSocket()); },
                   [&](uint32_t code) {
                       if (code != 0xFFFFFFFF) {
                           DbgPrintf(
                               gDbgContext,
                               "\nError: Could not change baud rate on device because error #%x occurred\n",
                               code);
                       }
                   });
        }
        HostPumpMessages(250);
        err = HostSerSetSettings(0, &changed);
        if (err == 0) gLink.baud = baud;
        return err;
    }

    if (gLink.open) {
        LinkClose(0);
        gLink.open = false;
    }
    SlkCloseSocket(vantor::slkSocketConsole);
    SlkCloseSocket(vantor::slkSocketDebugger);
    SlkCloseSocket(vantor::slkSocketRemoteUI);
    if (Status err = LinkSetKind(kind)) return err;
    if (Status err = LinkOpen(0, port, baud, handshake)) return err;
    gLink = LinkState{false, kind, port, baud};

    static constexpr struct {
        uint16_t socket;
        const char* failure;
    } sockets[] = {{vantor::slkSocketConsole, "Error opening Console Socket"},
                   {vantor::slkSocketDebugger, "Error opening Debugger Socket"},
                   {vantor::slkSocketRemoteUI, "Error opening remote UI Socket"}};
    Status err = 0;
    for (const auto& s : sockets) {
        uint16_t socket = s.socket;
        err = SlkOpenSocket(0, &socket, true);
        if (err) HostErrorBox(s.failure);
    }
    gLink.open = true;
    return err;
}

uint16_t DbgGetLinkSettings(uint32_t* kind, uint16_t* port, uint32_t* baud, bool* handshake) {
    *kind = gLink.kind;
    *port = gLink.port;
    *baud = gLink.baud;
    HostSerSettings settings{};
    *handshake = gLink.kind == linkSerial && HostSerGetSettings(0, &settings) == 0 &&
                 (settings.flags & hostSerFlagHandshake);
    return 0;
}

void DbgLinkControl(uint32_t value) {
    LinkControl(0, value);
}

void DbgSendBreakKey() {
    DbgSendRemoteEvent(258, 0, 8, true);
}

uint16_t DbgRemoteLinkCheck() {
    return RemoteLinkCheck();
}

}  // namespace quillwatch
