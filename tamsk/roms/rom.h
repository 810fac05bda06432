/* Helpers shared by the test and demo ROMs: semihosting output, number formatting, the
   exception record that start.S fills, and the board's timer and interrupt registers. */
#ifndef TAMSK_ROM_H
#define TAMSK_ROM_H

#include <stdint.h>

struct ExcRecord {
    uint32_t kind; /* 1 undefined, 2 swi, 3 prefetch abort, 4 data abort */
    uint32_t lr;
    uint32_t spsr;
    uint32_t fsr;
    uint32_t far;
    uint32_t comment;
    uint32_t count;
};
extern volatile struct ExcRecord exc_record;
extern volatile uint32_t abort_resume;
/* Called by the IRQ handler; each ROM provides it. */
void irq_service(void);

#define REG(a) (*(volatile uint32_t*)(a))
#define OSMR0 REG(0x40A00000)
#define OSCR REG(0x40A00010)
#define OSSR REG(0x40A00014)
#define OIER REG(0x40A0001C)
#define ICMR REG(0x40D00004)
#define ICLR REG(0x40D00008)

/* Semihosting: operation 4 prints a zero-terminated text. */
static inline void put(const char* s) {
    register uint32_t r0 __asm__("r0") = 4;
    register const char* r1 __asm__("r1") = s;
    __asm__ volatile("svc 0x123456" : "+r"(r0) : "r"(r1) : "lr", "memory", "cc");
}

static inline void put_hex(uint32_t v) {
    char buf[11] = "0x";
    for (int i = 0; i < 8; ++i) buf[2 + i] = "0123456789abcdef"[(v >> (28 - 4 * i)) & 15];
    buf[10] = 0;
    put(buf);
}

static inline void put_dec(uint32_t v) {
    char buf[12];
    int i = 11;
    buf[i] = 0;
    do {
        buf[--i] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    put(buf + i);
}

/* Sets OS timer match 0 delta ticks ahead. A timer that runs on its own clock (on qemu, host
   time) may pass the match before it is written: then it is set again. */
static inline void arm_match0(uint32_t delta) {
    do OSMR0 = OSCR + delta;
    while ((int32_t)(OSMR0 - OSCR) <= 0);
}

static inline uint32_t cp15_control(void) {
    uint32_t v;
    __asm__ volatile("mrc p15, 0, %0, c1, c0, 0" : "=r"(v));
    return v;
}
static inline void set_cp15_control(uint32_t v) { __asm__ volatile("mcr p15, 0, %0, c1, c0, 0" ::"r"(v) : "memory"); }
static inline void irq_enable(void) { __asm__ volatile("msr cpsr_c, #0x53" ::: "memory"); }
static inline void irq_disable(void) { __asm__ volatile("msr cpsr_c, #0xD3" ::: "memory"); }

#endif
