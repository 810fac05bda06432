/* The benchmark program: CRC-32, a sieve, a sort and memory copies, as a Linux program without a C
   library (qemu-arm runs it as is; the emulated core stops at its exit call). KERNELS picks the
   kernels it runs (bits 0..3: CRC-32, sieve, sort, copies; all by default), REPEAT how many times
   over (a kernel alone runs long enough to time against qemu's start-up). */
#include <stdint.h>

#ifndef KERNELS
#define KERNELS 15
#endif
#ifndef REPEAT
#define REPEAT 1
#endif

#define N_CRC 65536
#define N_SIEVE 400000
#define N_SORT 20000
#define N_COPY 262144

static uint8_t buffer[N_CRC];
static uint8_t composite[N_SIEVE];
static uint32_t numbers[N_SORT];
static uint32_t src[N_COPY / 4], dst[N_COPY / 4];
static uint32_t crc_table[256];

#include "kernels.h"

uint32_t bench_main(void) {
    uint32_t x = 12345, result = 0;
    fill_inputs(&x);
    for (int r = 0; r < 40 * REPEAT && (KERNELS & 1); ++r) result += crc32(buffer, N_CRC);
    for (int r = 0; r < 4 * REPEAT && (KERNELS & 2); ++r) result += sieve();
    for (int r = 0; r < 4 * REPEAT && (KERNELS & 4); ++r) {
        for (int i = 0; i < N_SORT; ++i) numbers[i] = next_random(&x);
        sort(numbers, N_SORT);
        result += numbers[N_SORT / 2];
    }
    for (int r = 0; r < 30 * REPEAT && (KERNELS & 8); ++r) {
        copy_words(dst, src, N_COPY / 4);
        copy_bytes((uint8_t*)src, (const uint8_t*)dst + 1, N_COPY - 1);
        result += dst[r];
    }
    return result;
}
