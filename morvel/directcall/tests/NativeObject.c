/* A native code object as a 68K application carries it: ARM code that reaches the OS only through
   the direct-call tables at R9 - 4 (Kez), R9 - 8 (System) and R9 - 12 (UI), with the device's
   two-instruction stub, and keeps R9 for the platform (-ffixed-r9). */
#include <stdint.h>

#define STUB(name, offset, id)                                                        \
    __attribute__((naked, noinline)) uint32_t name() {                                \
        __asm__ volatile("ldr ip, [r9, #-" #offset "]\n\tldr pc, [ip, #" #id " * 4]\n"); \
    }

STUB(SysMemPtrNew, 8, 353)
STUB(SysMemPtrSize, 8, 359)
STUB(SysMemChunkFree, 8, 302)
STUB(SysStrLen, 8, 486)
STUB(SysDmDatabaseInfo, 8, 76)
STUB(SysUnshimmed, 8, 1)
STUB(UiFrmGetActiveForm, 12, 137)
STUB(UiFrmSetEventHandler, 12, 178)
STUB(KezNull173, 4, 186)
STUB(KezTimerCreate, 4, 169)
STUB(KezTimerDelete, 4, 170)
STUB(KezTimerStart, 4, 171)

register uint32_t gR9 __asm__("r9");

/* What the native code saw, for the host test to read. */
volatile uint32_t gNativeSeen[8];

static uint32_t StackBlock(void) { return *(volatile uint32_t*)(gR9 - 60); }

/* The OS through each table: allocates, measures and frees a chunk, measures a string, asks for
   the active form and calls a Kez entry; the results are combined for the test. */
uint32_t NativeOsCalls(uint32_t text) {
    void* p = (void*)SysMemPtrNew(40);
    uint32_t size = p ? SysMemPtrSize(p) : 0;
    if (p) SysMemChunkFree(p);
    gNativeSeen[0] = size;
    gNativeSeen[1] = SysStrLen(text);
    gNativeSeen[2] = UiFrmGetActiveForm();
    KezNull173(0x11, 0x22);
    return gNativeSeen[0] + gNativeSeen[1];
}

/* Thirteen arguments: four in registers, nine on the native stack. */
uint32_t NativeDatabaseInfo(uint32_t base) {
    return SysDmDatabaseInfo(base, base + 1, base + 2, base + 3, base + 4, base + 5, base + 6, base + 7,
                             base + 8, base + 9, base + 10, base + 11, base + 12);
}

uint32_t NativeUnshimmed(uint32_t unused) {
    (void)unused;
    return SysUnshimmed(1, 2, 3);
}

/* The form handler: where its stack lies, and the event it got. */
uint32_t NativeFormHandler(uint32_t event) {
    uint32_t local = 0;
    uint32_t block = StackBlock();
    gNativeSeen[3] = event;
    gNativeSeen[4] = (uint32_t)&local > block && (uint32_t)&local < block + 0x4000;
    return 0x101; /* the bridge answers the low byte */
}
uint32_t NativeSetFormHandler(uint32_t form) {
    UiFrmSetEventHandler(form, (uint32_t)&NativeFormHandler);
    return 0;
}
uint32_t NativeClearFormHandler(uint32_t form) {
    UiFrmSetEventHandler(form, 0);
    return 0;
}

void NativeTimerCallback(uint32_t argument) {
    uint32_t block = StackBlock();
    uint32_t local = 0;
    gNativeSeen[5] = argument;
    gNativeSeen[6] = (uint32_t)&local > block && (uint32_t)&local < block + 0x4000;
}
/* Makes a timer whose callback is NativeTimerCallback and starts it. */
uint32_t NativeTimerMake(uint32_t idOut) {
    uint32_t err = KezTimerCreate(idOut, 0x54696D72, (uint32_t)&NativeTimerCallback, 0xC0FFEE);
    if (err & 0xFFFF) return err;
    return KezTimerStart(*(uint32_t*)idOut, 5);
}
uint32_t NativeTimerRemove(uint32_t id) { return KezTimerDelete(id); }

/* An entry as NativeCodeLoad calls it: (state, user data, call-back into 68K code). */
typedef uint32_t (*Call68K)(uint32_t state, uint32_t t, const void* arguments, uint32_t sizeAndFlags);
uint32_t NativeEntry(uint32_t state, uint32_t userData, uint32_t callback) {
    uint8_t argument[4] = {0, 0, 0, (uint8_t)userData};
    return ((Call68K)callback)(state, 0x123, argument, 4) + 1;
}

/* Callees that damage their stack's markers: below its bottom, and above its top. */
uint32_t NativeOverflow(uint32_t unused) {
    (void)unused;
    *(volatile uint32_t*)StackBlock() = 0;
    return 1;
}
uint32_t NativeUnderflow(uint32_t unused) {
    (void)unused;
    *(volatile uint32_t*)(StackBlock() + 0x4000) = 0;
    return 2;
}
/* The word at R9 and the record before this one. */
uint32_t NativeRecord(uint32_t unused) {
    (void)unused;
    gNativeSeen[7] = *(volatile uint32_t*)(gR9 - 64);
    return *(volatile uint32_t*)gR9;
}
