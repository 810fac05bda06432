/* The panel ROM: draws eight colour bars on the LCD and reports the keypad and the touch screen.
   It starts at 16 bits per pixel; each press of the blank bar (matrix row 4, column 5) steps the
   depth down (16, 8, 4, 2, 1, then 16 again). Bar i shows palette colour i modulo the colours the
   depth has; at 16 bits the bars take the same 5-6-5 colours directly. Output (semihosting):
   "depth N" after each change, "key R C" when one key is down, "keys up" when none is, "touch X Y"
   when the pen goes down and "pen up" when it is lifted. */
#include "rom.h"

#define LCCR0 REG(0x44000000)
#define LCCR1 REG(0x44000004)
#define LCCR2 REG(0x44000008)
#define LCCR3 REG(0x4400000C)
#define FDADR0 REG(0x44000200)
#define FDADR1 REG(0x44000210)
#define KPC REG(0x41500000)
#define KPAS REG(0x41500020)
#define TSDATA REG(0x41C00000)

#define WIDTH 240
#define HEIGHT 320
#define DRAM 0x80000000u

struct Descriptor {
    uint32_t next, source, id, command;
};

static volatile struct Descriptor* const palette_descriptor = (volatile struct Descriptor*)(DRAM);
static volatile struct Descriptor* const frame_descriptor = (volatile struct Descriptor*)(DRAM + 16);
static volatile uint16_t* const palette = (volatile uint16_t*)(DRAM + 0x100);
static volatile uint8_t* const frame = (volatile uint8_t*)(DRAM + 0x1000);

static const uint16_t colours[8] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0xFFE0, 0x07FF, 0xF81F};

void irq_service(void) {}

static void draw(uint32_t depth) {
    LCCR0 = 0; /* off while the depth changes */
    const uint32_t row_bytes = WIDTH * depth / 8;
    const uint32_t mask = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    for (uint32_t y = 0; y < HEIGHT; ++y) {
        volatile uint8_t* row = frame + y * row_bytes;
        for (uint32_t b = 0; b < row_bytes; ++b) row[b] = 0;
        for (uint32_t x = 0; x < WIDTH; ++x) {
            const uint32_t bar = x / (WIDTH / 8);
            if (depth == 16) {
                row[2 * x] = (uint8_t)colours[bar];
                row[2 * x + 1] = (uint8_t)(colours[bar] >> 8);
            } else {
                /* Pixels below a byte are packed from the low bits up. */
                const uint32_t bit = x * depth;
                row[bit / 8] |= (uint8_t)((bar & mask) << (bit % 8));
            }
        }
    }
    for (uint32_t i = 0; i < 256; ++i) palette[i] = colours[i & 7];
    const uint32_t entries = depth == 16 ? 0 : 1u << depth;
    palette_descriptor->next = (uint32_t)frame_descriptor;
    palette_descriptor->source = (uint32_t)palette;
    palette_descriptor->id = 0;
    palette_descriptor->command = (1u << 26) | (entries * 2);
    frame_descriptor->next = (uint32_t)frame_descriptor;
    frame_descriptor->source = (uint32_t)frame;
    frame_descriptor->id = 1;
    frame_descriptor->command = row_bytes * HEIGHT;
    LCCR1 = WIDTH - 1;
    LCCR2 = HEIGHT - 1;
    uint32_t log = 0;
    while ((1u << log) < depth) ++log;
    LCCR3 = log << 24;
    FDADR0 = depth == 16 ? (uint32_t)frame_descriptor : (uint32_t)palette_descriptor;
    FDADR1 = (uint32_t)frame_descriptor; /* the second channel is fetched too: no palette there */
    LCCR0 = 1 | (1u << 4); /* on, no end-of-frame interrupt */
    put("depth ");
    put_dec(depth);
    put("\n");
}

int main(void) {
    uint32_t depth = 16;
    draw(depth);
    uint32_t pen = 0;
    for (;;) {
        const uint32_t control = KPC;
        if (control & (1u << 22)) {
            KPC = control & ~(1u << 22);
            const uint32_t scan = KPAS;
            if ((scan >> 26) == 1) {
                const uint32_t row = (scan >> 4) & 7, column = scan & 7;
                put("key ");
                put_dec(row);
                put(" ");
                put_dec(column);
                put("\n");
                if (row == 4 && column == 5) {
                    depth = depth == 1 ? 16 : depth == 16 ? 8 : depth / 2;
                    draw(depth);
                }
            } else if ((scan >> 26) == 0) {
                put("keys up\n");
            }
        }
        const uint32_t data = TSDATA;
        const uint32_t down = (data >> 30) & 1;
        if (down != pen) {
            pen = down;
            if (down) {
                put("touch ");
                put_dec((data >> 15) & 0xFFF);
                put(" ");
                put_dec(data & 0xFFF);
                put("\n");
            } else {
                put("pen up\n");
            }
        }
    }
}
