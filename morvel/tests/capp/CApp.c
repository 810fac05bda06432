/* A 68K application in C for the launch tests: its globals live behind the offset table that A5
   points at. It checks what the packer and the launch must get right (initialised and zeroed
   globals, pointers to globals and into the code inside the globals, function pointers, constant
   strings, 32-bit arithmetic of the run-time, structure copies, a Boolean-sized trap argument) and
   answers a bit for each check that passed in the high word, the sum of the keys it got in the low. */
#include "VantorApp.h"

typedef struct {
    const char* name;
    Int32* counter;
    Int16 (*twice)(Int16);
} Entry;

static Int16 Twice(Int16 v) { return (Int16)(v * 2); }

static Int32 keySum;      /* .bss */
static Int32 keyCount = 0;
static Int32 initial = 0x12345678;
static char buffer[16] = "Vantor";
static const char kHello[] = "hello";
static Entry entries[2] = {{"first", &keySum, Twice}, {kHello, &keyCount, 0}};

static UInt16 Checks(void) {
    UInt16 checks = 0;
    volatile Int32 a = -100000, b = 7, c = 123456789;
    volatile UInt32 u = 0xFFFFFFF0ul, v = 3;
    Entry copy;
    if (initial == 0x12345678 && buffer[0] == 'V') checks |= 1;
    if (entries[0].counter == &keySum && entries[1].counter == &keyCount) checks |= 2;
    if (StrCompare(entries[0].name, "first") == 0 && entries[1].name == kHello) checks |= 4;
    if (entries[0].twice(21) == 42) checks |= 8;
    if (a / b == -14285 && a % b == -5 && c * b == 864197523 && (a * c) == (Int32)0x8C31D4E0ul) checks |= 16;
    if (u / v == 0x55555550ul && u % v == 0 && (u * v) == 0xFFFFFFD0ul) checks |= 32;
    copy = entries[1];
    if (copy.name == kHello && copy.twice == 0) checks |= 64;
    StrCat(buffer, " OS");
    if (StrLen(buffer) == 9) checks |= 128;
    MemSet(buffer, 4, 'x');
    if (buffer[0] == 'x' && buffer[3] == 'x' && buffer[4] == 'o') checks |= 256;
    return checks;
}

UInt32 VantorMain(UInt16 cmd, MemPtr cmdPBP, UInt16 launchFlags) {
    EventType event;
    UInt16 checks;
    (void)cmdPBP;
    if (cmd != launchCodeNormal || !(launchFlags & launchFlagNewGlobals)) return 0;
    checks = Checks();
    do {
        EvtGetEvent(&event, evtWaitForever);
        if (event.eType == keyDownEvent) {
            ++*entries[1].counter;
            *entries[0].counter += event.data.keyDown.chr;
        }
    } while (event.eType != appStopEvent);
    if (keyCount == 3) checks |= 512;
    return ((UInt32)checks << 16) | (UInt16)keySum;
}
