/* The kernels the processor benchmarks run: CRC-32, a sieve, a sort and memory copies. The program
   that includes this defines crc_table (256 words), buffer (N_CRC bytes), composite (N_SIEVE
   bytes), src (N_COPY bytes) and their sizes, and calls fill_inputs before the kernels. */
#include <stdint.h>

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

static uint32_t next_random(uint32_t* x) { return *x = *x * 1103515245u + 12345u; }

/* Fills the CRC table and the kernels' inputs with pseudo-random data from the seed *x. */
static void fill_inputs(uint32_t* x) {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & -(c & 1));
        crc_table[i] = c;
    }
    for (uint32_t i = 0; i < N_CRC; ++i) buffer[i] = (uint8_t)(next_random(x) >> 16);
    for (uint32_t i = 0; i < N_COPY / 4; ++i) src[i] = next_random(x);
}
