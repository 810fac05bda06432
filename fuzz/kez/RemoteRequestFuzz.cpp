// Remote-access commands as a peer sends them: the input is the byte stream of one connection
// (headers and data of any length, opcode and version), served by a session over a socket pair
// against the stand-in OS. Every reply must be whole: a header, and data only with status 0.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/module/KezBootConfig.h"
#include "kez/src/GRASServer.h"
#include "standin/os/StandinOs.h"

extern "C" void KezGlobalsInit(const vantor::KezBootConfig* config, vantor::KezHostStatus* status);
extern "C" void PrvPatchSystemDispatchTable(vantor::SystemDispatchTable table);
extern "C" void __SetMyDispatchTable();
extern "C" void GRASServerInit(uint32_t* launchedForRemoteRequest);

// A report-status request that asks to wait outside a sync sleeps 100 ms before it answers. The
// target runs thousands of inputs, and what follows the sleep (the reply) is what it checks, so
// here sleeping returns at once; the operations still take the same paths.
extern "C" int usleep(useconds_t) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    if (!ready) {
        vantor::os::CaptureOutput(true);
        PrvPatchSystemDispatchTable(vantor::os::SystemTable());
        __SetMyDispatchTable();
        static vantor::KezBootConfig config{};
        KezGlobalsInit(&config, nullptr);
        GRASServerInit(nullptr);
        ready = true;
    }
    if (size > 65536) return 0;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) std::abort();
    int buffer = 1 << 20;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (size && write(pair[0], data, size) != static_cast<ssize_t>(size)) std::abort();
    shutdown(pair[0], SHUT_WR);
    kez::PrvGRASServeConnection(pair[1]);
    close(pair[1]);
    // The replies: whole headers, each followed by its data only when its status is 0.
    uint8_t reply[4096];
    size_t have = 0;
    for (;;) {
        ssize_t n = read(pair[0], reply + have, sizeof reply - have);
        if (n <= 0) break;
        have += static_cast<size_t>(n);
        while (have >= sizeof(kez::GRASCommandHeader)) {
            kez::GRASCommandHeader header;
            std::memcpy(&header, reply, sizeof header);
            size_t whole = sizeof header + (header.status == 0 ? header.length : 0);
            if (whole > sizeof reply) std::abort();  // no reply of these operations is that long
            if (have < whole) break;
            std::memmove(reply, reply + whole, have - whole);
            have -= whole;
        }
    }
    close(pair[0]);
    vantor::os::Reset();
    vantor::os::CaptureOutput(true);
    return 0;
}
