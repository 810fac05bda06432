/* The demo ROM: greets, identifies the processor, runs a little work in ARM and Thumb state, and
   counts three seconds of emulated time on the OS timer's interrupt. What it prints goes to the
   console and onto the LCD, as text on a 240 x 320 panel at 16 bits per pixel. */
#include "font.h"
#include "rom.h"

#define WIDTH 240
#define HEIGHT 320
#define COLUMNS (WIDTH / 6)
#define ROWS (HEIGHT / 9)

static volatile uint32_t* const descriptor = (volatile uint32_t*)0x80000000u;
static volatile uint16_t* const frame = (volatile uint16_t*)0x80001000u;
static uint32_t column, row;

static void lcd_start(void) {
    for (uint32_t i = 0; i < WIDTH * HEIGHT; ++i) frame[i] = 0x0010; /* dark blue */
    descriptor[0] = (uint32_t)descriptor; /* next: itself */
    descriptor[1] = (uint32_t)frame;
    descriptor[2] = 0;
    descriptor[3] = WIDTH * HEIGHT * 2;
    REG(0x44000004) = WIDTH - 1;
    REG(0x44000008) = HEIGHT - 1;
    REG(0x4400000C) = 4u << 24; /* 16 bits per pixel */
    REG(0x44000200) = (uint32_t)descriptor;
    REG(0x44000210) = (uint32_t)descriptor;
    REG(0x44000000) = 1 | (1u << 4); /* on, no end-of-frame interrupt */
}

static void lcd_char(char c) {
    if (c == '\n' || column == COLUMNS) {
        column = 0;
        row = (row + 1) % ROWS;
        for (uint32_t y = row * 9; y < row * 9 + 9; ++y)
            for (uint32_t x = 0; x < WIDTH; ++x) frame[y * WIDTH + x] = 0x0010;
        if (c == '\n') return;
    }
    const uint8_t* glyph = font5x7[((uint8_t)c - 0x20) & 0x7F];
    for (uint32_t gx = 0; gx < 5; ++gx)
        for (uint32_t gy = 0; gy < 7; ++gy)
            if ((uint8_t)c >= 0x20 && (uint8_t)c < 0x80 && (glyph[gx] >> gy & 1))
                frame[(row * 9 + 1 + gy) * WIDTH + column * 6 + gx] = 0xFFFF;
    ++column;
}

static void out(const char* s) {
    put(s);
    while (*s) lcd_char(*s++);
}

static void out_hex(uint32_t v) {
    char buf[11] = "0x";
    for (int i = 0; i < 8; ++i) buf[2 + i] = "0123456789abcdef"[(v >> (28 - 4 * i)) & 15];
    buf[10] = 0;
    out(buf);
}

static void out_dec(uint32_t v) {
    char buf[12];
    int i = 11;
    buf[i] = 0;
    do {
        buf[--i] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    out(buf + i);
}

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
    lcd_start();
    out("Hello from the Tamsk demo ROM\n");
    out("processor id: ");
    out_hex(id);
    out("\nprimes below 10000 (ARM): ");
    out_dec(sieve());
    out("\ncrc32 of \"123456789\" (Thumb): ");
    out_hex(crc32("123456789"));
    out("\ncounting emulated seconds on the OS timer:");
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
            out(" ");
            out_dec(shown);
        }
    }
    irq_disable();
    out("\ndemo finished\n");
    return 0;
}
