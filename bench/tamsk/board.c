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

static uint32_t crc32(const uint8_t* p, uint32_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    while (n--) crc = crc_table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

static uint32_t sieve(void) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < N_SIEVE; ++i) composite[i] = 0;
    for (uint32_t i = 2; i < N_SIEVE; ++i) {
        if (composite[i]) continue;
        ++count;
        for (uint32_t j = i * 2; j < N_SIEVE; j += i) composite[j] = 1;
    }
    return count;
}

static void sort(uint32_t* v, int n) {
    for (int gap = n / 2; gap > 0; gap /= 2)
        for (int i = gap; i < n; ++i) {
            const uint32_t x = v[i];
            int j = i;
            for (; j >= gap && v[j - gap] > x; j -= gap) v[j] = v[j - gap];
            v[j] = x;
        }
}

static void copy_words(uint32_t* d, const uint32_t* s, uint32_t n) {
    while (n--) *d++ = *s++;
}
static void copy_bytes(uint8_t* d, const uint8_t* s, uint32_t n) {
    while (n--) *d++ = *s++;
}

uint32_t board_main(void) {
    uint32_t x = 12345, result = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & -(c & 1));
        crc_table[i] = c;
    }
    for (uint32_t i = 0; i < N_CRC; ++i) buffer[i] = (uint8_t)((x = x * 1103515245u + 12345u) >> 16);
    for (uint32_t i = 0; i < N_COPY / 4; ++i) src[i] = (x = x * 1103515245u + 12345u);
    for (int round = 0; round < ROUNDS; ++round) {
        for (int r = 0; r < 8; ++r) result += crc32(buffer, N_CRC);
        result += sieve();
        for (int i = 0; i < N_SORT; ++i) numbers[i] = (x = x * 1103515245u + 12345u);
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
