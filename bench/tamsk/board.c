/* The board benchmark's work: CRC-32, a sieve, a sort and memory copies, all in the first 128 KB of
   the internal SRAM (0x5C000000), the memory that the Tamsk board and qemu's mainstone machine share.
   Returns a checksum of the results, so that both machines can be seen doing the same work. */
#include <stdint.h>

#define N_CRC 16384
#define N_SIEVE 49152
#define N_SORT 4096
#define N_COPY 16384 /* bytes, each of source and destination */

#define WORK 0x5C000000u
static uint8_t* const buffer = (uint8_t*)WORK;
static uint8_t* const composite = (uint8_t*)(WORK + N_CRC);
static uint32_t* const numbers = (uint32_t*)(WORK + N_CRC + N_SIEVE);
static uint32_t* const src = (uint32_t*)(WORK + N_CRC + N_SIEVE + 4 * N_SORT);
static uint32_t* const dst = (uint32_t*)(WORK + N_CRC + N_SIEVE + 4 * N_SORT + N_COPY);
static uint32_t crc_table[256];

#include "kernels.h"

uint32_t board_main(void) {
    uint32_t x = 12345, result = 0;
    fill_inputs(&x);
    for (int round = 0; round < ROUNDS; ++round) {
        for (int r = 0; r < 8; ++r) result += crc32(buffer, N_CRC);
        result += sieve();
        for (int i = 0; i < N_SORT; ++i) numbers[i] = next_random(&x);
        sort(numbers, N_SORT);
        result += numbers[N_SORT / 2];
        for (int r = 0; r < 4; ++r) {
            copy_words(dst, src, N_COPY / 4);
            copy_bytes((uint8_t*)src, (const uint8_t*)dst + 1, N_COPY - 1);
            result += dst[r];
        }
        result = (result << 1 | result >> 31) ^ round;
    }
    return result ^ result >> 8 ^ result >> 16 ^ result >> 24;
}
