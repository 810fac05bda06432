/* The demo ROM: greets, identifies the processor, runs a little work in ARM and Thumb state, and
   counts three seconds of emulated time on the OS timer's interrupt. */
#include "rom.h"

static volatile uint32_t seconds;

void irq_service(void) {
    if (OSSR & 1) {
        OSSR = 1;
        ++seconds;
        arm_match0(3250000); /* one second of OS timer ticks */
    }
}

static uint32_t sieve(void) {
    static uint8_t composite[10000];
    uint32_t count = 0;
    for (uint32_t i = 2; i < sizeof composite; ++i) {
        if (composite[i]) continue;
        ++count;
        for (uint32_t j = i * i; j < sizeof composite; j += i) composite[j] = 1;
    }
    return count;
}

__attribute__((target("thumb"), noinline)) static uint32_t crc32(const char* s) {
    uint32_t crc = 0xFFFFFFFFu;
    while (*s) {
        crc ^= (uint8_t)*s++;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & -(crc & 1));
    }
    return ~crc;
}

int main(void) {
    uint32_t id;
    __asm__ volatile("mrc p15, 0, %0, c0, c0, 0" : "=r"(id));
    put("Hello from the Tamsk demo ROM\n");
    put("processor id: ");
    put_hex(id);
    put("\nprimes below 10000 (ARM): ");
    put_dec(sieve());
    put("\ncrc32 of \"123456789\" (Thumb): ");
    put_hex(crc32("123456789"));
    put("\ncounting emulated seconds on the OS timer:");
    ICLR = 0;
    ICMR = 1u << 26;
    OSSR = 0xF;
    arm_match0(3250000);
    OIER = 1;
    irq_enable();
    uint32_t shown = 0;
    while (shown < 3) {
        if (seconds != shown) {
            shown = seconds;
            put(" ");
            put_dec(shown);
        }
    }
    irq_disable();
    put("\ndemo finished\n");
    return 0;
}
