/* The test ROM: checks privileged behaviour of the processor (exceptions, MMU, coprocessor 15,
   interrupts, Thumb interworking, register banks) and prints one line per check. Built to run both
   on the emulated board and on qemu's mainstone machine, so it checks only what the two agree on. */
#include "rom.h"

static volatile uint32_t irq_count;
/* The one-match tests: entries of the interrupt handler, whatever it finds. */
static volatile uint32_t irq_once, irq_entries;
extern volatile uint32_t fiq_entries;

void irq_service(void) {
    if (irq_once) {
        ++irq_entries;
        OSSR = 1;
        OIER = 0;
        return;
    }
    if (OSSR & 1) {
        OSSR = 1;
        ++irq_count;
        if (irq_count < 3)
            arm_match0(32500);
        else
            OIER = 0;
    }
}

static void check(const char* name, int ok) {
    put(name);
    put(ok ? ": ok\n" : ": FAILED\n");
}

static void test_id(void) {
    uint32_t id;
    __asm__ volatile("mrc p15, 0, %0, c0, c0, 0" : "=r"(id));
    put("implementer: ");
    put_hex(id >> 24);
    put("\n");
}

static void test_undefined(void) {
    uint32_t at;
    exc_record.kind = 0;
    __asm__ volatile("adr %0, 1f\n1: .word 0xE7F000F0" : "=r"(at)::"memory");
    check("undefined instruction", exc_record.kind == 1 && exc_record.lr == at + 4 && (exc_record.spsr & 0x1F) == 0x13);
}

static void test_swi(void) {
    uint32_t at;
    exc_record.kind = 0;
    __asm__ volatile("adr %0, 1f\n1: svc 0x42" : "=r"(at)::"lr", "memory");
    check("software interrupt", exc_record.kind == 2 && exc_record.comment == 0x42 && exc_record.lr == at + 4);
}

static uint32_t words[4] = {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00};

#define L1 ((volatile uint32_t*)0x5C000000)
#define L2 ((volatile uint32_t*)0x5C004000)
#define SECTION(pa, ap, dom) ((pa) | ((ap) << 10) | ((dom) << 5) | 0x12)

/* Reads address; returns the fault status (bits 3..0) and domain (7..4), or 0x100 without abort. */
static uint32_t probe(uint32_t address, uint32_t* value) {
    exc_record.kind = 0;
    *value = *(volatile uint32_t*)address;
    if (exc_record.kind != 4) return 0x100;
    return exc_record.far == address ? exc_record.fsr & 0xFF : 0x200;
}

static void report_fault(const char* name, uint32_t address) {
    uint32_t v;
    const uint32_t s = probe(address, &v);
    put(name);
    put(": status ");
    put_dec(s & 0xF);
    put(" domain ");
    put_dec((s >> 4) & 0xF);
    put(s >= 0x100 ? " (no abort)\n" : "\n");
}

static void test_mmu(void) {
    for (int i = 0; i < 4096; ++i) L1[i] = 0;
    L1[0x000] = SECTION(0x00000000, 3, 0);
    for (uint32_t mb = 0x400; mb < 0x500; ++mb) L1[mb] = SECTION(mb << 20, 3, 0);
    L1[0x5C0] = SECTION(0x5C000000, 3, 0);
    L1[0x100] = SECTION(0x5C000000, 3, 0); /* an alias of SRAM */
    L1[0x101] = SECTION(0x5C000000, 3, 2); /* domain 2: no access */
    L1[0x102] = SECTION(0x5C000000, 0, 0); /* AP 0 with S = R = 0: no access at all */
    L1[0x103] = 0x5C004000 | 0x11;         /* coarse table */
    for (int i = 0; i < 256; ++i) L2[i] = 0;
    L2[0] = 0x5C020000 | 0xFF0 | 2; /* small page, every subpage AP 3 */
    __asm__ volatile(
        "mcr p15, 0, %0, c2, c0, 0\n"
        "mcr p15, 0, %1, c3, c0, 0\n"
        "mcr p15, 0, %2, c8, c7, 0\n" ::"r"(0x5C000000), "r"(1), "r"(0)
        : "memory");
    set_cp15_control(cp15_control() | 1);
    uint32_t v;
    check("mmu section alias", probe(0x10020000, &v) == 0x100 && v == *(volatile uint32_t*)0x5C020000);
    check("mmu small page", probe(0x10300004, &v) == 0x100 && v == *(volatile uint32_t*)0x5C020004);
    report_fault("section translation fault", 0x20000000);
    report_fault("domain fault", 0x10100000);
    report_fault("permission fault", 0x10200000);
    report_fault("page translation fault", 0x10301000);
    /* A jump to an unmapped address: prefetch abort with the return address + 4. */
    exc_record.kind = 0;
    __asm__ volatile(
        "adr r0, 1f\n"
        "str r0, [%0]\n"
        "ldr pc, =0x20000000\n"
        ".ltorg\n"
        "1:\n" ::"r"(&abort_resume)
        : "r0", "memory");
    check("prefetch abort", exc_record.kind == 3 && exc_record.lr == 0x20000004);
    set_cp15_control(cp15_control() & ~1u);
    check("mmu off again", probe(0x5C020000, &v) == 0x100);
}

static void test_timer_interrupt(void) {
    irq_count = 0;
    ICLR = 0;
    ICMR = 1u << 26;
    OSSR = 0xF;
    arm_match0(32500);
    OIER = 1;
    irq_enable();
    /* Wait at most one second of OS timer time (on a real-time timer, one second of host time). */
    const uint32_t start = OSCR;
    while (irq_count < 3 && OSCR - start < 3250000) __asm__ volatile("" ::: "memory");
    irq_disable();
    ICMR = 0;
    put("timer interrupts: ");
    put_dec(irq_count);
    put("\n");
}

/* One timer match, taken as FIQ or as IRQ by a handler that serves it at its source and returns
   at once: the handler runs once. */
static void test_interrupt_served_at_source(int fiq) {
    fiq_entries = 0;
    irq_entries = 0;
    irq_once = 1;
    ICLR = fiq ? 1u << 26 : 0;
    ICMR = 1u << 26;
    OSSR = 0xF;
    OIER = 1;
    arm_match0(32500);
    if (fiq)
        __asm__ volatile("msr cpsr_c, #0x93" ::: "memory"); /* FIQ on, IRQ off */
    else
        irq_enable();
    const uint32_t start = OSCR;
    while (OSCR - start < 325000) __asm__ volatile("" ::: "memory");
    irq_disable();
    ICMR = 0;
    ICLR = 0;
    irq_once = 0;
    put(fiq ? "fiq entries: " : "irq entries: ");
    put_dec(fiq ? fiq_entries : irq_entries);
    put("\n");
}

__attribute__((target("thumb"), noinline)) static uint32_t thumb_work(const uint32_t* v, int n) {
    uint32_t sum = 0, x = 0x12345678;
    for (int i = 0; i < n; ++i) {
        x ^= x << 3;
        x ^= x >> 5;
        sum += v[i & 3] * (uint32_t)i + (x & 0xFF);
    }
    return sum;
}

static void test_thumb(void) {
    put("thumb: ");
    put_hex(thumb_work(words, 100));
    put("\n");
}

static void test_banks(void) {
    uint32_t svc_sp, irq_sp, r8_svc, r8_after;
    __asm__ volatile(
        "mov %0, sp\n"
        "msr cpsr_c, #0xD2\n"
        "mov %1, sp\n"
        "msr cpsr_c, #0xD3\n"
        "mov r8, #0x11\n"
        "msr cpsr_c, #0xD1\n"
        "mov r8, #0x22\n"
        "msr cpsr_c, #0xD3\n"
        "mov %2, #0x11\n"
        "mov %3, r8\n"
        : "=r"(svc_sp), "=r"(irq_sp), "=r"(r8_svc), "=r"(r8_after)::"r8", "memory");
    check("register banks", svc_sp != irq_sp && irq_sp == 0x5C03E000 && r8_after == r8_svc);
}

static void test_spsr(void) {
    uint32_t spsr;
    __asm__ volatile(
        "msr spsr_fsxc, %1\n"
        "mrs %0, spsr\n"
        : "=r"(spsr)
        : "r"(0x600000D0u));
    check("spsr", spsr == 0x600000D0u);
}

int main(void) {
    put("test ROM\n");
    test_id();
    test_undefined();
    test_swi();
    test_banks();
    test_spsr();
    test_thumb();
    test_mmu();
    test_timer_interrupt();
    test_interrupt_served_at_source(1);
    test_interrupt_served_at_source(0);
    put("done\n");
    return 0;
}
